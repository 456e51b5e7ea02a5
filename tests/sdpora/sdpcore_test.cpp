#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "libs/sdpora/attributenames.h"
#include "libs/sdpora/sdp1.h"
#include "libs/sdpora/sdpelement.h"
#include "platform/files.h"

namespace {

using namespace sdpora;

TEST(SdpAttributeNames, FirstNameOfTheTableWins) {
    const struct {
        std::uint16_t id;
        const char* name;
    } cases[] = {
        {0x0000, "ServiceRecordHandle"},
        {0x0001, "ServiceClassIDList"},
        {0x0100, "ServiceName"},
        {0x0200, "GroupID"},
        {0x0301, "DataExchangeSpecification"},
        {0x0302, "Fax Class 1upport"},
        {0x0316, "SupportedMessageTypes"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(attributeName(c.id), c.name) << c.id;
    }
    for (std::uint16_t unnamed : {0x000E, 0x0101, 0x030F, 0x0317, 0xFFFF}) {
        EXPECT_EQ(attributeName(unnamed), nullptr) << unnamed;
    }
}

struct ElementCase {
    const char* title;
    Bytes stream;
    bool valid;
    ElementType type;
    std::size_t wholeSize;
};

TEST(SdpElement, DescriptorsAndLengthsAreCheckedAgainstTheStream) {
    const ElementCase cases[] = {
        {"nil", {0x00}, true, ElementType::nil, 1},
        {"uint8", {0x08, 0x05}, true, ElementType::unsignedInt, 2},
        {"uint32", {0x0A, 1, 2, 3, 4}, true, ElementType::unsignedInt, 5},
        {"uuid16 with trailing bytes", {0x19, 0x11, 0x05, 0xFF}, true, ElementType::uuid, 3},
        {"text of 3", {0x25, 0x03, 'a', 'b', 'c'}, true, ElementType::text, 5},
        {"sequence, 16-bit length",
         {0x36, 0x00, 0x03, 0x19, 0x11, 0x05},
         true,
         ElementType::sequence,
         6},
        {"empty stream", {}, false, ElementType::nil, 0},
        {"uint16 cut short", {0x09, 0x01}, false, ElementType::nil, 0},
        {"text longer than the stream", {0x25, 0x05, 'a'}, false, ElementType::nil, 0},
        {"32-bit length cut short", {0x37, 0x00, 0x00}, false, ElementType::nil, 0},
        {"huge 32-bit length", {0x37, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, false, ElementType::nil, 0},
        {"unknown type 9", {0x48, 0x00}, false, ElementType::nil, 0},
        {"integer with a length byte", {0x0D, 0x01, 0x00}, false, ElementType::nil, 0},
        {"nil with a size", {0x01, 0x00, 0x00}, false, ElementType::nil, 0},
        {"uuid of one byte", {0x18, 0x00}, false, ElementType::nil, 0},
    };
    for (const ElementCase& c : cases) {
        SCOPED_TRACE(c.title);
        const auto element = parseElement(c.stream);
        ASSERT_EQ(element.has_value(), c.valid);
        if (element) {
            EXPECT_EQ(element->type, c.type);
            EXPECT_EQ(element->whole.size(), c.wholeSize);
        }
    }
}

TEST(SdpElement, RfcommChannelComesFromTheProtocolDescriptorList) {
    using namespace build;
    const Bytes withChannel = record(
        {{0x0004, sequence({sequence({uuid16(0x0100)}), sequence({uuid16(0x0003), uint8(12)})})}});
    const Bytes l2capOnly = record({{0x0004, sequence({sequence({uuid16(0x0100)})})}});
    const Bytes malformed = {0x35, 0x05, 0x09, 0x00, 0x04, 0x35, 0x09};
    EXPECT_EQ(rfcommChannelOf(withChannel), 12);
    EXPECT_EQ(rfcommChannelOf(l2capOnly), 0);
    EXPECT_EQ(rfcommChannelOf(malformed), 0);
}

// A stack that answers with a fixed list of records.
class RecordedSdp : public SdpBackend {
  public:
    RecordedSdp(int openError, ServiceSearch search)
        : openError(openError), search(std::move(search)) {}
    int open() override { return openError; }
    ServiceSearch searchRfcommRecords(std::uint64_t) override { return search; }

  private:
    int openError;
    ServiceSearch search;
};

Bytes rfcommRecord(int channel, std::uint16_t serviceClass) {
    using namespace build;
    return record(
        {{0x0001, sequence({uuid16(serviceClass)})},
         {0x0004,
          sequence({sequence({uuid16(0x0100)}),
                    sequence({uuid16(0x0003), uint8(static_cast<std::uint8_t>(channel))})})}});
}

class SdpLookup : public ::testing::Test {
  protected:
    void SetUp() override {
        logFile = std::filesystem::temp_directory_path() /
                  ("sdpcore_test_" + std::to_string(::getpid()) + ".txt");
        std::filesystem::remove(logFile);
    }
    void TearDown() override { std::filesystem::remove(logFile); }

    int lookUp(int openError, ServiceSearch search) {
        CSdp1 sdp([&](Report) { return std::make_unique<RecordedSdp>(openError, search); });
        const std::u16string path = logFile.u16string();
        EXPECT_EQ(sdp.startLogging(path.c_str()), 1);
        return sdp.getOppPort1(0x22AABBCC, 0x0011);
    }

    std::string log() const { return platform::readFile(logFile.string()).value_or(""); }

    static std::size_t count(const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++n;
        }
        return n;
    }

    std::filesystem::path logFile;
};

TEST_F(SdpLookup, LastObjectPushRecordWins) {
    EXPECT_EQ(
        lookUp(0,
               {0, {rfcommRecord(4, 0x1105), rfcommRecord(2, 0x1101), rfcommRecord(12, 0x1105)}}),
        12);
    EXPECT_EQ(count(log(), "found "), 2u);
    EXPECT_NE(log().find("found 4"), std::string::npos);
}

TEST_F(SdpLookup, RfcommServicesWithoutObjectPushGiveZero) {
    EXPECT_EQ(lookUp(0, {0, {rfcommRecord(1, 0x1101), rfcommRecord(3, 0x111F)}}), 0);
    EXPECT_EQ(count(log(), "port for svc "), 2u);
}

TEST_F(SdpLookup, OnlyTheFirst31RecordsAreLookedAt) {
    ServiceSearch search;
    for (int n = 0; n < 31; ++n) {
        search.records.push_back(rfcommRecord(1, 0x1101));
    }
    search.records.push_back(rfcommRecord(7, 0x1105));
    EXPECT_EQ(lookUp(0, search), 0);
    EXPECT_EQ(count(log(), "port for svc "), 31u);
}

TEST_F(SdpLookup, MalformedRecordIsLoggedAndTheWalkGoesOn) {
    Bytes cut = rfcommRecord(5, 0x1105);
    cut[1] = static_cast<std::uint8_t>(cut[1] + 4);  // claims more than the record holds
    Bytes badValue = build::record({{0x0100, build::text("x")}});
    badValue.back() = 'x';
    badValue[badValue.size() - 3] = 0x48;  // the value's descriptor names no type
    EXPECT_EQ(lookUp(0, {0, {cut, badValue, rfcommRecord(6, 0x1105)}}), 6);
    EXPECT_EQ(count(log(), "Bad message\n"), 2u) << log();
}

TEST_F(SdpLookup, SocketFailureGivesOneAndRefusedSearchGivesZero) {
    EXPECT_EQ(lookUp(EAFNOSUPPORT, {}), 1);
    EXPECT_NE(log().find("Error at socket(): 97\n"), std::string::npos);
    EXPECT_EQ(lookUp(0, {EHOSTDOWN, {}}), 0);
    EXPECT_NE(log().find("WSALookupServiceBegin Host is down\n"), std::string::npos);
}

TEST_F(SdpLookup, AttributesAreLoggedByNameOrId) {
    using namespace build;
    EXPECT_EQ(
        lookUp(
            0,
            {0,
             {record({{0x0200, uint16(1)}, {0x0301, uint32(0xCAFE)}, {0x0999, uuid16(0x1105)}})}}),
        0);
    const std::string text = log();
    EXPECT_NE(text.find("GroupID ss 3\nUINTSDP_ST_UINT16 \n"), std::string::npos) << text;
    EXPECT_NE(text.find("DataExchangeSpecification ss 5\nUINT#32 0x0000CAFE \n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("attributId 0x0999 ss 3\nSDP_TYPE_UUID #1105 SDP_ST_UUID16 \n"),
              std::string::npos)
        << text;
}

}  // namespace
