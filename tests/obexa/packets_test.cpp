// The bytes the push puts on the wire and how it describes what comes back.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "libs/obexa/obexfilechunks.h"
#include "libs/obexa/obexheaders.h"
#include "libs/obexa/obexresponse.h"
#include "logcapture.h"
#include "testfiles.h"

using obexa::Bytes;
using obexa::CObexFileChunks;
using namespace obexatest;
using ::testing::HasSubstr;

namespace {

// Every packet of an object of `size` bytes named `name` with media type `type`.
std::vector<Bytes> allPackets(const TempFolder& folder, std::size_t size,
                              const std::u16string& name, const std::string& type,
                              std::int32_t* count = nullptr) {
    CObexFileChunks chunks(obexa::CLogTarget{});
    EXPECT_TRUE(chunks.open(wide(folder.file("object.bin", size))));
    chunks.setMaxPacketLength(430);
    chunks.setName(name);
    chunks.setType(type);
    std::vector<Bytes> packets;
    for (std::int32_t n = 1; auto* chunk = chunks.packet(n); ++n) {
        const Bytes& encoded = chunk->encode();
        packets.emplace_back(encoded.begin(), encoded.begin() + chunk->packetLength());
    }
    if (count != nullptr) {
        *count = chunks.packetCount();
    }
    return packets;
}

Bytes prefix(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

const Bytes nameHeaderAJpg{0x01, 0x00, 0x0F, 0x00, 0x61, 0x00, 0x2E, 0x00,
                           0x6A, 0x00, 0x70, 0x00, 0x67, 0x00, 0x00};
const Bytes typeHeaderImageJpeg{0x42, 0x00, 0x0E, 'i', 'm', 'a', 'g',
                                'e',  '/',  'j',  'p', 'e', 'g', 0x00};

}  // namespace

TEST(ObexRequests, ConnectAnnouncesCountAndLengthInSeventeenBytes) {
    const obexa::CObexConnect connect(1000, 3);
    EXPECT_EQ(connect.encode(), (Bytes{0x80, 0x00, 0x11, 0x10, 0x00, 0x02, 0xA0, 0xC0, 0x00, 0x00,
                                       0x00, 0x03, 0xC3, 0x00, 0x00, 0x03, 0xE8}));
    EXPECT_EQ(obexa::CObexDisconnect().encode(), (Bytes{0x81, 0x00, 0x03}));
}

TEST(ObexPackets, FirstPacketOfThousandByteObjectCarriesNameTypeLengthAndBodyHead) {
    TempFolder folder;
    std::int32_t count = 0;
    const auto packets = allPackets(folder, 1000, u"a.jpg", "image/jpeg", &count);
    ASSERT_EQ(count, 3);
    const Bytes expected = concat({{0x02, 0x01, 0xAE},
                                   nameHeaderAJpg,
                                   typeHeaderImageJpeg,
                                   {0xC3, 0x00, 0x00, 0x03, 0xE8},
                                   {0x48, 0x01, 0x89}});
    EXPECT_EQ(prefix(packets[0], expected.size()), expected);
}

TEST(ObexPackets, SinglePacketObjectEndsWithEndOfBody) {
    TempFolder folder;
    const auto packets = allPackets(folder, 100, u"a.jpg", "image/jpeg");
    ASSERT_EQ(packets.size(), 1u);
    const Bytes expected = concat({{0x82, 0x00, 0x8C},
                                   nameHeaderAJpg,
                                   typeHeaderImageJpeg,
                                   {0xC3, 0x00, 0x00, 0x00, 0x64},
                                   {0x49, 0x00, 0x67},
                                   patternBytes(100)});
    EXPECT_EQ(packets[0], expected);
}

TEST(ObexPackets, EmptyNameAndEmptyTypeGiveBareNameHeaderAndNoTypeHeader) {
    TempFolder folder;
    const auto packets = allPackets(folder, 10, u"", "");
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(prefix(packets[0], 13), (Bytes{0x82, 0x00, 0x1A, 0x01, 0x00, 0x05, 0x00, 0x00, 0xC3,
                                             0x00, 0x00, 0x00, 0x0A}));
}

TEST(ObexPackets, TypeOfTwoHundredFiftyFiveCharactersIsDropped) {
    TempFolder folder;
    const auto packets = allPackets(folder, 10, u"a.jpg", std::string(255, 'x'));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0][3 + nameHeaderAJpg.size()], 0xC3) << "no Type header before Length";
    const auto kept = allPackets(folder, 10, u"a.jpg", std::string(254, 'x'));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0][3 + nameHeaderAJpg.size()], 0x42) << "a 254-character type is kept";
}

struct LayoutCase {
    const char* what;
    std::size_t size;
    std::string type;
    std::vector<std::size_t> packetLengths;
    std::vector<std::size_t> bodyLengths;
};

class ObexPacketLayout : public ::testing::TestWithParam<LayoutCase> {};

// Every packet: opcode and final bit, its length field, Body/End of Body head, and the body
// bytes, which joined must give back the file.
TEST_P(ObexPacketLayout, PacketsCarryTheFileInOrder) {
    const LayoutCase& c = GetParam();
    TempFolder folder;
    const auto packets = allPackets(folder, c.size, u"a.jpg", c.type);
    ASSERT_EQ(packets.size(), c.packetLengths.size());
    Bytes joined;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const Bytes& p = packets[i];
        const bool last = i + 1 == packets.size();
        SCOPED_TRACE("packet " + std::to_string(i + 1));
        EXPECT_EQ(p.size(), c.packetLengths[i]);
        EXPECT_EQ(p[0], last ? 0x82 : 0x02);
        EXPECT_EQ((std::size_t{p[1]} << 8) | p[2], p.size());
        const std::size_t bodyAt = p.size() - c.bodyLengths[i];
        EXPECT_EQ(p[bodyAt - 3], last ? 0x49 : 0x48);
        EXPECT_EQ((std::size_t{p[bodyAt - 2]} << 8) | p[bodyAt - 1], c.bodyLengths[i] + 3);
        joined.insert(joined.end(), p.begin() + static_cast<std::ptrdiff_t>(bodyAt), p.end());
    }
    EXPECT_EQ(joined, patternBytes(c.size));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ObexPacketLayout,
    ::testing::Values(LayoutCase{"thousand", 1000, "image/jpeg", {430, 430, 192}, {390, 424, 186}},
                      LayoutCase{"fitsOnePacket", 390, "image/jpeg", {430}, {390}},
                      LayoutCase{"oneByteOver", 391, "image/jpeg", {430, 7}, {390, 1}},
                      LayoutCase{"fullLastPacket", 814, "image/jpeg", {430, 430}, {390, 424}},
                      LayoutCase{"hundred", 100, "image/jpeg", {140}, {100}},
                      LayoutCase{"noType", 1000, "", {430, 430, 178}, {404, 424, 172}},
                      LayoutCase{"oneByte", 1, "image/jpeg", {41}, {1}}),
    [](const auto& info) { return std::string(info.param.what); });

struct RefusalCase {
    const char* what;
    std::size_t size;
    std::size_t nameUnits;
    std::size_t typeBytes;
    bool refused;
    const char* logged;
};

class ObexPacketRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ObexPacketRefusal, ObjectsTheLayoutCannotCarryGiveNoPacket) {
    const RefusalCase& c = GetParam();
    TempFolder folder;
    LogCapture log;
    CObexFileChunks chunks(log.target());
    ASSERT_TRUE(chunks.open(wide(folder.file("object.bin", c.size))));
    chunks.setMaxPacketLength(430);
    chunks.setName(std::u16string(c.nameUnits, u'n'));
    chunks.setType(std::string(c.typeBytes, 't'));
    EXPECT_EQ(chunks.packet(1) == nullptr, c.refused);
    EXPECT_EQ(chunks.packetCount() == 0, c.refused);
    EXPECT_THAT(log.text(), HasSubstr(c.logged));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ObexPacketRefusal,
    ::testing::Values(RefusalCase{"emptyFile", 0, 5, 10, true, "leer"},
                      RefusalCase{"name230", 10, 230, 0, true, "230 Zeichen"},
                      RefusalCase{"headersFillPacket", 10, 200, 10, true, "keinen Platz"},
                      RefusalCase{"twoBytesLeft", 10, 199, 10, false, "Reading bytes"},
                      RefusalCase{"longNameNoType", 10, 207, 0, true, "keinen Platz"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ObexFileChunks, OpenFailuresAreReportedNotFatal) {
    TempFolder folder;
    LogCapture log;
    {
        CObexFileChunks missing(log.target());
        EXPECT_FALSE(missing.open(wide(folder.path() / "missing.jpg")));
        EXPECT_EQ(missing.packetCount(), 0);
    }
    EXPECT_THAT(log.text(), HasSubstr("isFilenameOk? No such file or directory\n"));

    CObexFileChunks tooLong(log.target());
    EXPECT_FALSE(tooLong.open(std::u16string(255, u'p')));
    EXPECT_THAT(log.text(), HasSubstr("Invalid parameter detected in function"));
    // The call site named is the caller of the bounded helper, not the helper's own header.
    EXPECT_THAT(log.text(), HasSubstr("obexfilechunks.cpp Line: "));
    EXPECT_THAT(log.text(), HasSubstr("Expression: "));
}

TEST(ObexFileChunks, FileThatShrinksWhilePacketsAreBuiltFailsTheRead) {
    TempFolder folder;
    LogCapture log;
    const auto file = folder.file("object.bin", 1000);
    CObexFileChunks chunks(log.target());
    ASSERT_TRUE(chunks.open(wide(file)));
    chunks.setMaxPacketLength(430);
    chunks.setName(u"a.jpg");
    ASSERT_NE(chunks.packet(1), nullptr);
    std::filesystem::resize_file(file, 900);
    EXPECT_NE(chunks.packet(2), nullptr) << "bytes 404..827 are still there";
    EXPECT_FALSE(chunks.readFailed());
    EXPECT_EQ(chunks.packet(3), nullptr);
    EXPECT_TRUE(chunks.readFailed());
    EXPECT_THAT(log.text(), HasSubstr("Lesen fehlgeschlagen: Paket 3\n"));
}

TEST(ObexFileChunks, DestructionLogsTheSummaryLine) {
    TempFolder folder;
    LogCapture log;
    const auto file = folder.file("object.bin", 1000);
    {
        CObexFileChunks chunks(log.target());
        ASSERT_TRUE(chunks.open(wide(file)));
        chunks.setMaxPacketLength(430);
        chunks.setName(u"a.jpg");
        chunks.setType("image/jpeg");
        chunks.packet(1);
    }
    EXPECT_EQ(log.text(), "The file was opened\nReading bytes\n" + file.string() +
                              " ist 1000 lang und braucht 3 pakete.\n");
}

TEST(ObexResponses, CodesAreLoggedWithTheirTexts) {
    EXPECT_STREQ(obexa::responseCodeText(0xC3), "Forbidden - operation is understood but refused");
    EXPECT_STREQ(obexa::responseCodeText(0xC0),
                 "Bad Request - server couldn\u2019t understand request");
    EXPECT_STREQ(obexa::responseCodeText(0xE1), "Database Locked");
    EXPECT_EQ(obexa::responseCodeText(0x99), nullptr);
}

TEST(ObexResponses, ErrorResponseLogsCodeLengthAndDescription) {
    LogCapture log;
    const Bytes answer{0xC3, 0x00, 0x0D, 0x05, 0x00, 0x0A, 0x00, 'N', 0x00, 'o', 0x00, 0x00, 0x00};
    obexa::CObexErrResponse(answer.data(), static_cast<std::uint16_t>(answer.size()), log.target())
        .log();
    EXPECT_EQ(log.text(),
              "der ResponseCode Forbidden - operation is understood but refused\n"
              "die Packlen 13\nErrtex No\n");
}

TEST(ObexResponses, UntrustedErrorTextsAreLoggedSafely) {
    LogCapture log;
    // An unknown code, a lone surrogate and an odd trailing byte.
    const Bytes answer{0xEE, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xD8, 0x00, 0x00, 'A', 0x41};
    obexa::CObexErrResponse(answer.data(), static_cast<std::uint16_t>(answer.size()), log.target())
        .log();
    EXPECT_EQ(log.text(), "der ResponseCode \ndie Packlen 65535\nErrtex \uFFFDA\n");
}

TEST(ObexResponses, ConnectAnswerLogsPeerParametersAndZeroWhenShort) {
    LogCapture log;
    const Bytes full{0xA0, 0x00, 0x07, 0x10, 0x00, 0x04, 0x00};
    obexa::CObexConnectResponse(full.data(), 7, log.target()).log();
    obexa::CObexConnectResponse(full.data(), 1, log.target()).log();
    EXPECT_EQ(log.text(),
              "der ResponseCode OK Success\ndie Packlen 7\ndie Flags 0\ndie Obexversion 16\n"
              "die Maxpacklen 1024\n"
              "der ResponseCode OK Success\ndie Packlen 0\ndie Flags 0\ndie Obexversion 0\n"
              "die Maxpacklen 0\n");
}
