// Pushes from several threads at once, as the program's sender does.

#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "fakephone.h"
#include "obexalibrary.h"
#include "testfiles.h"

using namespace obexatest;

TEST(ObexaThreads, FourPushesToFourPhonesAtOnceAllSucceed) {
    TempFolder folder;
    ObexaLibrary obexa;
    std::vector<std::unique_ptr<FakePhone>> phones;
    std::vector<SimPhone> world;
    for (int i = 0; i < 4; ++i) {
        phones.push_back(std::make_unique<FakePhone>(FakePhone::Mode::tcp));
        world.push_back({"00:11:22:33:44:5" + std::to_string(i), true,
                         "127.0.0.1:" + std::to_string(phones.back()->port())});
    }
    const SimWorld simulation(folder.path() / "world.ini", world);
    const std::u16string logFolder = wide(folder.path()) + u"/";
    ASSERT_EQ(obexa.startLogging(logFolder.c_str()), 0);

    std::array<std::int32_t, 4> results{};
    std::vector<std::thread> pushers;
    for (int i = 0; i < 4; ++i) {
        pushers.emplace_back([&, i] {
            const auto file = wide(folder.file("file" + std::to_string(i), 1000 + 500 * i));
            results[i] = obexa.getFileStatusM(addressLowOf(world[i].address),
                                              addressHighOf(world[i].address), "image/jpeg",
                                              u"promo.jpg", file.c_str());
        });
    }
    for (auto& pusher : pushers) {
        pusher.join();
    }
    obexa.stopLogging();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i], 1) << "phone " << i;
        EXPECT_EQ(phones[i]->receivedObject(), patternBytes(1000 + 500 * i)) << "phone " << i;
        EXPECT_TRUE(std::filesystem::exists(
            folder.path() / ("00112233445" + std::to_string(i) + "_promo.jpg.txt")));
    }
}
