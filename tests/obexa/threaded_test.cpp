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

namespace {

struct ThreadPush {
    std::string address;
    std::size_t size = 0;
    std::int32_t result = -1;
    std::int32_t reportAnswer = -1;
    ObexaPushReport report{};
    std::vector<std::uint64_t> progress;
};

void recordProgress(void* context, std::uint64_t bytesAccepted, std::uint64_t) {
    static_cast<ThreadPush*>(context)->progress.push_back(bytesAccepted);
}

}  // namespace

// The report and the progress function belong to the thread: two pushes side by side, one
// delivered and one refused half way, never see each other's, and a thread that pushed nothing
// has no report.
TEST(ObexaThreads, EachThreadGetsTheReportAndProgressOfItsOwnPush) {
    TempFolder folder;
    ObexaLibrary obexa;
    const auto slowly = std::chrono::milliseconds(200);
    FakePhone accepting(FakePhone::Mode::tcp, {{1, delayedReply({0x90, 0x00, 0x03}, slowly)}});
    FakePhone refusing(FakePhone::Mode::tcp, {{2, delayedReply({0xC3, 0x00, 0x03}, slowly)}});
    std::array<ThreadPush, 2> pushes;
    pushes[0].address = "00:11:22:33:44:61";
    pushes[0].size = 1000;
    pushes[1].address = "00:11:22:33:44:62";
    pushes[1].size = 5000;
    const SimWorld simulation(
        folder.path() / "world.ini",
        {{pushes[0].address, true, "127.0.0.1:" + std::to_string(accepting.port())},
         {pushes[1].address, true, "127.0.0.1:" + std::to_string(refusing.port())}});

    std::vector<std::thread> pushers;
    for (ThreadPush& push : pushes) {
        const auto file = wide(folder.file("file" + push.address.substr(15), push.size));
        pushers.emplace_back([&obexa, &push, file] {
            obexa.setPushProgress(&recordProgress, &push);
            push.result =
                obexa.getFileStatusM(addressLowOf(push.address), addressHighOf(push.address),
                                     "image/jpeg", u"promo.jpg", file.c_str());
            push.reportAnswer = obexa.getPushReport(&push.report);
        });
    }
    for (auto& pusher : pushers) {
        pusher.join();
    }
    ObexaPushReport mine{};
    EXPECT_EQ(obexa.getPushReport(&mine), 1) << "this thread pushed nothing";

    EXPECT_EQ(pushes[0].result, 1);
    ASSERT_EQ(pushes[0].reportAnswer, 0);
    EXPECT_EQ(pushes[0].report.outcome, obexaDelivered);
    EXPECT_EQ(pushes[0].report.fileBytes, 1000u);
    EXPECT_EQ(pushes[0].progress.size(), 3u);
    EXPECT_EQ(pushes[0].progress.back(), 1000u);

    EXPECT_EQ(pushes[1].result, 0);
    ASSERT_EQ(pushes[1].reportAnswer, 0);
    EXPECT_EQ(pushes[1].report.outcome, obexaRefused);
    EXPECT_EQ(pushes[1].report.fileBytes, 5000u);
    EXPECT_EQ(pushes[1].report.packetsAccepted, 1);
    ASSERT_EQ(pushes[1].progress.size(), 1u);
    EXPECT_EQ(pushes[1].progress.back(), pushes[1].report.bytesAccepted);
}
