// Service records from a phone's SDP server: the input is one answer's attribute lists. The
// station's record split and channel search run on it, and every record the split yields (or,
// when it yields none, the input itself) is walked attribute by attribute by the SDP library
// with its trace on.

#include <cstdint>
#include <memory>
#include <vector>

#include "libs/sdpclient/sdpsearch.h"
#include "libs/sdpora/sdp1.h"

namespace {

// Answers every search with the records of the current input.
class RecordedSdp : public sdpora::SdpBackend {
  public:
    explicit RecordedSdp(std::vector<sdpora::Bytes> records) : records(std::move(records)) {}
    int open() override { return 0; }
    sdpora::ServiceSearch searchRfcommRecords(std::uint64_t) override { return {0, records}; }

  private:
    std::vector<sdpora::Bytes> records;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<sdpora::Bytes> records;
    if (auto split = sdpclient::splitAttributeLists(data, size)) {
        sdpclient::rfcommChannel(*split, 0x1105);
        records = std::move(*split);
    }
    if (records.empty()) {
        records.emplace_back(data, data + size);
    }
    CSdp1 sdp([&records](sdpora::Report) { return std::make_unique<RecordedSdp>(records); });
    sdp.startLogging(u"/dev/null");
    sdp.getOppPort1(0x22AABBCC, 0x0011);
    return 0;
}
