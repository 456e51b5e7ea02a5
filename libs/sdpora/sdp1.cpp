#include "sdp1.h"

#include <algorithm>
#include <bit>
#include <cerrno>

#include "attributenames.h"
#include "libs/simworld/simworld.h"
#include "platform/btaddress.h"
#include "platform/system.h"

namespace {

using sdpora::Element;
using sdpora::ElementType;

constexpr std::size_t textLogLimit = 30;

std::unique_ptr<sdpora::SdpBackend> defaultBackend(sdpora::Report report) {
    if (const auto world = simworld::worldFile()) {
        return sdpora::makeSimulatedSdp(*world, std::move(report));
    }
    return sdpora::makeBluezSdp(std::move(report));
}

// The class list of an Object Push record ends with the 16-bit UUID 0x1105.
bool endsWithObjectPush(const Element& element) {
    const auto bytes = element.whole;
    return element.type == ElementType::sequence && bytes.size() >= 2 &&
           bytes[bytes.size() - 2] == 0x11 && bytes[bytes.size() - 1] == 0x05;
}

}  // namespace

CSdp1::CSdp1() : CSdp1(defaultBackend) {}

CSdp1::CSdp1(BackendMaker makeBackend) : makeBackend(std::move(makeBackend)) {}

int CSdp1::getOppPort1(std::uint32_t addressLow, std::uint32_t addressHigh) {
    // Sockets need no start-up here; the step and its log line stay for the log's readers.
    trace("WSAStartup succeeded: %d\n", 0);
    const auto backend =
        makeBackend([this](const std::string& line) { trace("%s\n", line.c_str()); });
    if (const int error = backend->open(); error != 0) {
        trace("Error at socket(): %ld\n", static_cast<long>(error));
        return 1;
    }
    const std::uint64_t address = (std::uint64_t{addressHigh & 0xFFFF} << 32) | addressLow;
    Walk walk;
    lookup(*backend, address, walk);
    trace("closesocket\n");
    trace("WSACleanup-----------------------------------------\n\n");
    return walk.foundChannel;
}

void CSdp1::lookup(sdpora::SdpBackend& backend, std::uint64_t address, Walk& walk) {
    trace("bt address: %s\n", platform::btaddress::withColons(address).c_str());
    const sdpora::ServiceSearch search = backend.searchRfcommRecords(address);
    if (search.error != 0) {
        trace("WSALookupServiceBegin %s\n", platform::systemErrorText(search.error).c_str());
        return;
    }
    const std::size_t passes = std::min<std::size_t>(search.records.size(), passLimit);
    for (std::size_t pass = 0; pass < passes; ++pass) {
        walkRecord(search.records[pass], walk);
    }
}

void CSdp1::walkRecord(sdpora::ByteView record, Walk& walk) {
    walk.currentChannel = sdpora::rfcommChannelOf(record);
    trace("port for svc %d\n", walk.currentChannel);
    const bool whole =
        sdpora::forEachAttribute(record, [&](std::uint16_t id, const Element& value) {
            walkAttribute(id, value, walk);
            return true;
        });
    if (!whole) {
        trace("%s\n", platform::systemErrorText(EBADMSG).c_str());
    }
    trace("\n");
}

void CSdp1::walkAttribute(std::uint16_t id, const Element& value, Walk& walk) {
    if (const char* name = sdpora::attributeName(id)) {
        trace("%s ss %d\n", name, static_cast<int>(value.whole.size()));
    } else {
        trace("attributId 0x%4.4X ss %d\n", id, static_cast<int>(value.whole.size()));
    }
    logType(value);
    if (endsWithObjectPush(value)) {
        trace("found %d", walk.currentChannel);
        walk.foundChannel = walk.currentChannel;
    }
    logSpecificType(value);
    trace("\n");
}

void CSdp1::logType(const Element& element) {
    switch (element.type) {
        case ElementType::nil:
            trace("SDP_TYPE_NIL ");
            return;
        case ElementType::unsignedInt:
            trace("UINT");
            return;
        case ElementType::signedInt:
            trace("SDP_TYPE_INT ");
            return;
        case ElementType::uuid:
            trace("SDP_TYPE_UUID #%X ", static_cast<unsigned>(sdpora::uuidValue(element)));
            return;
        case ElementType::text:
            trace("%.*s", static_cast<int>(std::min(element.value.size(), textLogLimit)),
                  reinterpret_cast<const char*>(element.value.data()));
            return;
        case ElementType::boolean:
            trace("SDP_TYPE_BOOLEAN ");
            return;
        case ElementType::sequence:
            trace("SDP_TYPE_SEQUENCE ");
            for (std::uint8_t byte : element.whole) {
                trace("%2.2X", byte);
            }
            return;
        case ElementType::alternative:
            trace("SDP_TYPE_ALTERNATIVE ");
            return;
        case ElementType::url:
            trace("SDP_TYPE_URL ");
            return;
    }
}

void CSdp1::logSpecificType(const Element& element) {
    const std::size_t size = element.value.size();
    if (element.type == ElementType::unsignedInt) {
        switch (size) {
            case 1:
                trace("SDP_ST_UINT8 ");
                return;
            case 2:
                trace("SDP_ST_UINT16 ");
                return;
            case 4:
                trace("#32 0x%8.8X ", static_cast<unsigned>(sdpora::integerValue(element)));
                return;
            case 8:
                trace("SDP_ST_UINT64 ");
                return;
            default:
                trace("SDP_ST_UINT128 ");
                return;
        }
    }
    if (element.type == ElementType::signedInt) {
        const char* names[] = {"SDP_ST_INT8 ", "SDP_ST_INT16 ", "SDP_ST_INT32 ", "SDP_ST_INT64 ",
                               "SDP_ST_INT128 "};
        trace("%s", names[std::min<std::size_t>(std::countr_zero(size), 4)]);
        return;
    }
    if (element.type == ElementType::uuid && size != 4) {
        trace("%s", size == 2 ? "SDP_ST_UUID16 " : "SDP_ST_UUID128 ");
    }
}
