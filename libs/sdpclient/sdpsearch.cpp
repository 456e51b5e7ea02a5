#include "sdpsearch.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace sdpclient {

namespace {

constexpr std::uint32_t allAttributes = 0x0000FFFF;
// Service records nest a few sequences deep (protocol lists in a sequence of sequences); far
// deeper nesting is no record a phone means.
constexpr int maxNesting = 16;

// What the library's callback reported when the transaction ended.
struct Answer {
    bool done = false;
    std::uint8_t type = 0;
    std::uint16_t status = 0;
    Bytes bytes;
};

void onAnswer(std::uint8_t type, std::uint16_t status, std::uint8_t* bytes, std::size_t size,
              void* data) {
    auto* answer = static_cast<Answer*>(data);
    answer->done = true;
    answer->type = type;
    answer->status = status;
    if (bytes != nullptr) {
        answer->bytes.assign(bytes, bytes + size);
    }
}

// 0 once `fd` is ready for `events`, ETIMEDOUT when `deadline` passed first. A failed wait counts
// as ready: the step that follows reports the socket's error.
int waitFor(int fd, short events, SteadyClock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0) {
            return ETIMEDOUT;
        }
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            return 0;
        }
        if (ready == 0) {
            return ETIMEDOUT;
        }
    }
}

int sendSearch(sdp_session_t* session, std::uint16_t uuid) {
    uuid_t pattern;
    ::sdp_uuid16_create(&pattern, uuid);
    std::uint32_t range = allAttributes;
    sdp_list_t* search = ::sdp_list_append(nullptr, &pattern);
    sdp_list_t* attributes = ::sdp_list_append(nullptr, &range);
    errno = 0;
    const int sent =
        ::sdp_service_search_attr_async(session, search, SDP_ATTR_REQ_RANGE, attributes);
    const int error = errno;
    ::sdp_list_free(search, nullptr);
    ::sdp_list_free(attributes, nullptr);
    return sent < 0 ? (error != 0 ? error : EIO) : 0;
}

// Why the transaction ended without an answer: the library's own error, else a protocol error.
int transactionError(sdp_session_t* session) {
    const int error = ::sdp_get_error(session);
    return error > 0 ? error : EPROTO;
}

bool namesClass(sdp_record_t* record, std::uint16_t serviceClass) {
    sdp_list_t* classes = nullptr;
    if (::sdp_get_service_classes(record, &classes) != 0) {
        return false;
    }
    bool named = false;
    for (sdp_list_t* item = classes; item != nullptr; item = item->next) {
        uuid_t uuid = *static_cast<uuid_t*>(item->data);
        ::sdp_uuid128_to_uuid(&uuid);
        named = named || (uuid.type == SDP_UUID16 && uuid.value.uuid16 == serviceClass) ||
                (uuid.type == SDP_UUID32 && uuid.value.uuid32 == serviceClass);
    }
    ::sdp_list_free(classes, std::free);
    return named;
}

std::optional<int> channelOf(sdp_record_t* record) {
    sdp_list_t* protocols = nullptr;
    if (::sdp_get_access_protos(record, &protocols) != 0) {
        return std::nullopt;
    }
    const int channel = ::sdp_get_proto_port(protocols, RFCOMM_UUID);
    for (sdp_list_t* item = protocols; item != nullptr; item = item->next) {
        ::sdp_list_free(static_cast<sdp_list_t*>(item->data), nullptr);
    }
    ::sdp_list_free(protocols, nullptr);
    return channel > 0 ? std::optional<int>(channel) : std::nullopt;
}

// Where a data element's value lies: after `head` bytes of type, size and length, `value` bytes.
struct ElementExtent {
    unsigned type = 0;
    std::size_t head = 0;
    std::size_t value = 0;
    bool holdsAlternative = false;  // it is an alternative or holds one at any depth
    std::size_t whole() const { return head + value; }
};

enum ElementType : unsigned {
    nilType,
    unsignedType,
    signedType,
    uuidType,
    textType,
    booleanType,
    sequenceType,
    alternativeType,
    urlType
};

bool sizeIndexFits(unsigned type, unsigned sizeIndex) {
    switch (type) {
        case nilType:
        case booleanType:
            return sizeIndex == 0;
        case unsignedType:
        case signedType:
            return sizeIndex <= 4;
        case uuidType:
            return sizeIndex == 1 || sizeIndex == 2 || sizeIndex == 4;
        case textType:
        case sequenceType:
        case alternativeType:
        case urlType:
            return sizeIndex >= 5;
        default:
            return false;
    }
}

// The data element at `bytes`, its nested elements checked too; nothing when a type and size
// descriptor is not a valid one, an element runs past the bytes it has, or sequences nest deeper
// than any record does. libbluetooth's record parser must never see such an element: on an
// attribute value that runs past its record it leaks, and on some it loops, taking memory
// without end.
std::optional<ElementExtent> wellFormedElement(const std::uint8_t* bytes, std::size_t size,
                                               int depth) {
    if (size == 0 || depth > maxNesting) {
        return std::nullopt;
    }
    ElementExtent element{static_cast<unsigned>(bytes[0] >> 3), 1, 0};
    const unsigned sizeIndex = bytes[0] & 7;
    if (!sizeIndexFits(element.type, sizeIndex)) {
        return std::nullopt;
    }
    std::uint64_t value = element.type == nilType ? 0 : std::uint64_t{1} << sizeIndex;
    if (sizeIndex >= 5) {
        element.head += std::size_t{1} << (sizeIndex - 5);
        if (size < element.head) {
            return std::nullopt;
        }
        value = 0;
        for (std::size_t i = 1; i < element.head; ++i) {
            value = value << 8 | bytes[i];
        }
    }
    if (value > size - element.head) {
        return std::nullopt;
    }
    element.value = static_cast<std::size_t>(value);
    element.holdsAlternative = element.type == alternativeType;
    if (element.type == sequenceType || element.type == alternativeType) {
        for (std::size_t at = element.head; at < element.whole();) {
            const auto child = wellFormedElement(bytes + at, element.whole() - at, depth + 1);
            if (!child) {
                return std::nullopt;
            }
            element.holdsAlternative = element.holdsAlternative || child->holdsAlternative;
            at += child->whole();
        }
    }
    return element;
}

struct Attribute {
    std::uint16_t id = 0;
    const std::uint8_t* value = nullptr;
    ElementExtent extent;
};

struct RecordLayout {
    std::size_t length = 0;
    std::vector<Attribute> attributes;
};

// The service record at `bytes`: a sequence of attribute ids (16-bit unsigned integers), each
// followed by a well-formed value; nothing for anything else.
std::optional<RecordLayout> wellFormedRecord(const std::uint8_t* bytes, std::size_t size) {
    constexpr std::uint8_t attributeIdDescriptor = 0x09;
    constexpr std::size_t attributeIdLength = 3;
    const auto record = wellFormedElement(bytes, size, 0);
    if (!record || record->type != sequenceType) {
        return std::nullopt;
    }
    RecordLayout layout{record->whole(), {}};
    for (std::size_t at = record->head; at < record->whole();) {
        if (record->whole() - at < attributeIdLength || bytes[at] != attributeIdDescriptor) {
            return std::nullopt;
        }
        const auto id = static_cast<std::uint16_t>(bytes[at + 1] << 8 | bytes[at + 2]);
        at += attributeIdLength;
        const auto value = wellFormedElement(bytes + at, record->whole() - at, 1);
        if (!value) {
            return std::nullopt;
        }
        layout.attributes.push_back({id, bytes + at, *value});
        at += value->whole();
    }
    return layout;
}

// The part of a record the channel search reads, as a record of its own: the service class list
// and the protocol descriptor list, each only when it holds no data element alternative.
// libbluetooth leaks every alternative with content that it reads, wherever it stands in a
// record, and phones may send them in attributes the search never needs.
Bytes searchedPart(const RecordLayout& layout) {
    Bytes content;
    for (const Attribute& attribute : layout.attributes) {
        if ((attribute.id != SDP_ATTR_SVCLASS_ID_LIST &&
             attribute.id != SDP_ATTR_PROTO_DESC_LIST) ||
            attribute.extent.holdsAlternative) {
            continue;
        }
        content.insert(content.end(), {0x09, static_cast<std::uint8_t>(attribute.id >> 8),
                                       static_cast<std::uint8_t>(attribute.id)});
        content.insert(content.end(), attribute.value, attribute.value + attribute.extent.whole());
    }
    // Each list comes from a record whose length field had 32 bits at most.
    Bytes record = {0x37, static_cast<std::uint8_t>(content.size() >> 24),
                    static_cast<std::uint8_t>(content.size() >> 16),
                    static_cast<std::uint8_t>(content.size() >> 8),
                    static_cast<std::uint8_t>(content.size())};
    record.insert(record.end(), content.begin(), content.end());
    return record;
}

}  // namespace

SearchOutcome searchSession(sdp_session_t* session, std::uint16_t uuid,
                            SteadyClock::time_point deadline) {
    Answer answer;
    ::sdp_set_notify(session, &onAnswer, &answer);
    if (const int error = sendSearch(session, uuid); error != 0) {
        return {error, {}};
    }
    // Each readable turn takes one answer part; a part with a continuation state makes the
    // library ask for the next one and return 0.
    while (!answer.done) {
        if (waitFor(::sdp_get_socket(session), POLLIN, deadline) != 0) {
            return {ETIMEDOUT, {}};
        }
        if (::sdp_process(session) != 0 && !answer.done) {
            return {transactionError(session), {}};
        }
    }
    if (answer.type != SDP_SVC_SEARCH_ATTR_RSP || answer.status != 0) {
        return {transactionError(session), {}};
    }
    auto records = splitAttributeLists(answer.bytes.data(), answer.bytes.size());
    if (!records) {
        return {EPROTO, {}};
    }
    return {0, std::move(*records)};
}

SearchOutcome searchDevice(std::uint64_t address, std::uint16_t uuid,
                           SteadyClock::time_point deadline) {
    const bdaddr_t any{};
    bdaddr_t device{};
    for (int i = 0; i < 6; ++i) {
        device.b[i] = static_cast<std::uint8_t>(address >> (8 * i));
    }
    errno = 0;
    sdp_session_t* session = ::sdp_connect(&any, &device, SDP_NON_BLOCKING);
    if (session == nullptr) {
        return {errno != 0 ? errno : EHOSTUNREACH, {}};
    }
    const int socket = ::sdp_get_socket(session);
    int error = waitFor(socket, POLLOUT, deadline);
    if (error == 0) {
        socklen_t size = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
            error = errno;
        }
    }
    SearchOutcome outcome =
        error == 0 ? searchSession(session, uuid, deadline) : SearchOutcome{error, {}};
    ::sdp_close(session);
    return outcome;
}

std::optional<std::vector<Bytes>> splitAttributeLists(const std::uint8_t* bytes, std::size_t size) {
    if (bytes == nullptr || size == 0 || size > 0x7FFFFFFF) {
        return std::nullopt;
    }
    std::uint8_t type = 0;
    int length = 0;
    const int head = ::sdp_extract_seqtype(bytes, static_cast<int>(size), &type, &length);
    if (head <= 0 || length < 0 || static_cast<std::size_t>(head) + length > size) {
        return std::nullopt;
    }
    std::vector<Bytes> records;
    const std::size_t end = static_cast<std::size_t>(head) + length;
    for (std::size_t at = head; at < end;) {
        const auto layout = wellFormedRecord(bytes + at, end - at);
        if (!layout) {
            return std::nullopt;
        }
        records.emplace_back(bytes + at, bytes + at + layout->length);
        at += layout->length;
    }
    return records;
}

std::optional<int> rfcommChannel(const std::vector<Bytes>& records, std::uint16_t serviceClass) {
    for (const Bytes& bytes : records) {
        const auto layout = wellFormedRecord(bytes.data(), bytes.size());
        if (!layout || layout->length != bytes.size()) {
            continue;
        }
        const Bytes searched = searchedPart(*layout);
        int used = 0;
        sdp_record_t* record =
            ::sdp_extract_pdu(searched.data(), static_cast<int>(searched.size()), &used);
        if (record == nullptr) {
            continue;
        }
        const auto channel = namesClass(record, serviceClass) ? channelOf(record) : std::nullopt;
        ::sdp_record_free(record);
        if (channel) {
            return channel;
        }
    }
    return std::nullopt;
}

}  // namespace sdpclient
