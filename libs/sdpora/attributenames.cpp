#include "attributenames.h"

namespace sdpora {

namespace {

struct AttributeName {
    std::uint16_t id;
    const char* name;
};

// Searched from the top; the universal attributes first, then the profile-specific ones whose
// ids several profiles share, with the spellings the log has always used.
constexpr AttributeName attributeNames[] = {
    {0x0000, "ServiceRecordHandle"},
    {0x0001, "ServiceClassIDList"},
    {0x0002, "ServiceRecordState"},
    {0x0003, "ServiceID"},
    {0x0004, "ProtocolDescriptorList"},
    {0x0005, "BrowseGroupList"},
    {0x0006, "LanguageBaseAttributeIDList"},
    {0x0007, "ServiceInfoTimeToLive"},
    {0x0008, "ServiceAvailability"},
    {0x0009, "BluetoothProfileDescriptorList"},
    {0x000A, "DocumentationURL"},
    {0x000B, "ClientExecutableURL"},
    {0x000C, "IconURL"},
    {0x000D, "AdditionalProtocolDescriptorLists"},
    {0x0100, "ServiceName"},
    {0x0200, "GroupID"},
    {0x0200, "IpSubnet"},
    {0x0200, "SupportFeaturesList"},
    {0x0200, "VersionNumberList"},
    {0x0201, "ServiceDatabaseState"},
    {0x0300, "Service Version"},
    {0x0301, "DataExchangeSpecification"},
    {0x0301, "External network"},
    {0x0301, "Network"},
    {0x0301, "Supportedatatores List"},
    {0x0302, "Fax Class 1upport"},
    {0x0302, "Remote audio volume control"},
    {0x0302, "MCAPupportedrocedures"},
    {0x0303, "Supported Formats List"},
    {0x0304, "Fax Class 2 Support"},
    {0x0305, "Audio Feedbackupport"},
    {0x0306, "NetworkAddress"},
    {0x0307, "WAPGateWay"},
    {0x0308, "HomePageURL"},
    {0x0309, "WAPStackType"},
    {0x030A, "SecurityDescription"},
    {0x030B, "NetAccessType"},
    {0x030C, "MaxNetAccessrate"},
    {0x030D, "IPv4Subnet"},
    {0x030E, "IPv6Subnet"},
    {0x0310, "SupportedCapabilities"},
    {0x0311, "SupportedFeatures"},
    {0x0312, "SupportedFunctions"},
    {0x0313, "TotalImagingDataCapacity"},
    {0x0314, "SupportedRepositories"},
    {0x0315, "MASInstanceID"},
    {0x0316, "SupportedMessageTypes"},
};

static_assert(sizeof attributeNames / sizeof attributeNames[0] == 47);

}  // namespace

const char* attributeName(std::uint16_t id) {
    for (const AttributeName& entry : attributeNames) {
        if (entry.id == id) {
            return entry.name;
        }
    }
    return nullptr;
}

}  // namespace sdpora
