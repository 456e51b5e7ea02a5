// OBEX requests as a simulated phone reads them: the input is cut into packets by their length
// fields, as the phone's server reads them off the connection, and each is handled by one
// session that stores what it accepts. The first byte says whether the phone refuses objects.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "fuzz/fuzzfiles.h"
#include "tools/phonesim/session.h"

namespace {

constexpr std::size_t packetHead = 3;

const fuzzing::ScratchFolder& inbox() {
    static const fuzzing::ScratchFolder folder;
    return folder;
}

void emptyInbox() {
    for (const auto& entry : std::filesystem::directory_iterator(inbox().path())) {
        std::filesystem::remove_all(entry.path());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    {
        phonesim::ObexSession session({inbox().path(), "fuzz", (data[0] & 1) != 0, 1 << 20},
                                      nullptr);
        const std::span<const std::uint8_t> stream(data + 1, size - 1);
        for (std::size_t at = 0; stream.size() - at >= packetHead;) {
            const std::size_t length = (std::size_t{stream[at + 1]} << 8) | stream[at + 2];
            if (length < packetHead || length > stream.size() - at) {
                break;
            }
            const phonesim::Reply reply = session.handle(stream.subspan(at, length));
            if (reply.bytes.size() < packetHead) {
                std::abort();  // every answer must be a whole OBEX response
            }
            if (reply.endsConnection) {
                break;
            }
            at += length;
        }
    }
    emptyInbox();
    return 0;
}
