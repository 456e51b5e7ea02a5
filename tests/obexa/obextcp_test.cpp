// Conformance: objects pushed through the exports arrive intact at openobex's obex_tcp, an
// OBEX receiver written independently of this library.

#include <gtest/gtest.h>

#include "obexalibrary.h"
#include "obextcpreceiver.h"
#include "testfiles.h"

using namespace obexatest;

namespace {

const std::string phoneAddress = "00:16:DB:0A:1B:2C";

class ObexTcpConformance : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ObexTcpConformance, PushedObjectArrivesByteForByte) {
    if (!ObexTcpReceiver::installed()) {
        GTEST_SKIP() << "obex_tcp (package openobex-apps) is not installed";
    }
    const std::size_t size = GetParam();
    TempFolder folder;
    const auto inbox = folder.path() / "inbox";
    std::filesystem::create_directory(inbox);
    ObexaLibrary obexa;
    const SimWorld world(folder.path() / "world.ini",
                         {{phoneAddress, true, "127.0.0.1:" + std::to_string(obexTcpPort)}});
    ObexTcpReceiver receiver(inbox);

    const std::string name = "pushed_" + std::to_string(size) + ".bin";
    const auto file = wide(folder.file("source.bin", size));
    const std::u16string wideName(name.begin(), name.end());
    EXPECT_EQ(obexa.getFileStatusM(addressLowOf(phoneAddress), addressHighOf(phoneAddress),
                                   "application/octet-stream", wideName.c_str(), file.c_str()),
              1);
    ObexaPushReport report{};
    ASSERT_EQ(obexa.getPushReport(&report), 0);
    EXPECT_EQ(report.outcome, obexaDelivered);
    EXPECT_EQ(report.packetsAccepted, report.packets);
    EXPECT_EQ(report.bytesAccepted, size) << "every byte counted once, headers not at all";
    const auto arrived = receiver.received(name, size);
    receiver.stop();
    ASSERT_TRUE(arrived.has_value()) << readText(inbox / "obex_tcp.out");
    EXPECT_EQ(*arrived, patternBytes(size));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ObexTcpConformance,
                         ::testing::Values(1, 389, 390, 391, 814, 1000, 300000));

}  // namespace
