// The simulated SDP server of the world's phones: a phone in range with a `channel` offers one
// Object Push record on that RFCOMM channel; without it the phone offers no record.

#include <cerrno>

#include "libs/simworld/simworld.h"
#include "sdpbackend.h"

namespace sdpora {

namespace {

constexpr int highestRfcommChannel = 30;

// The record an Object Push server publishes: its class, L2CAP/RFCOMM/OBEX on the channel, the
// public browse group, the profile version, its name and "any format".
Bytes objectPushRecord(int channel) {
    using namespace build;
    return record({
        {0x0000, uint32(0x00010001)},
        {0x0001, sequence({uuid16(objectPushUuid)})},
        {0x0004,
         sequence({sequence({uuid16(0x0100)}),
                   sequence({uuid16(rfcommUuid), uint8(static_cast<std::uint8_t>(channel))}),
                   sequence({uuid16(0x0008)})})},
        {0x0005, sequence({uuid16(0x1002)})},
        {0x0009, sequence({sequence({uuid16(objectPushUuid), uint16(0x0100)})})},
        {0x0100, text("OBEX Object Push")},
        {0x0303, sequence({uint8(0xFF)})},
    });
}

class SimulatedSdp : public SdpBackend {
  public:
    SimulatedSdp(std::string file, Report report)
        : worldFile(std::move(file)), report(std::move(report)) {}

    int open() override { return 0; }

    ServiceSearch searchRfcommRecords(std::uint64_t address) override {
        const simworld::World world = simworld::load(worldFile);
        for (const std::string& problem : world.problems) {
            report("world file " + worldFile + ": " + problem);
        }
        if (!world.radio) {
            return {ENODEV, {}};
        }
        for (const simworld::Phone& phone : world.phones) {
            if (phone.address == address) {
                return phone.inRange ? recordsOf(phone) : ServiceSearch{EHOSTDOWN, {}};
            }
        }
        return {EHOSTDOWN, {}};
    }

  private:
    ServiceSearch recordsOf(const simworld::Phone& phone) {
        if (!phone.channel) {
            return {};
        }
        if (*phone.channel < 1 || *phone.channel > highestRfcommChannel) {
            report("[" + phone.section + "]: channel " + std::to_string(*phone.channel) +
                   " is no RFCOMM channel, no record offered");
            return {};
        }
        return {0, {objectPushRecord(*phone.channel)}};
    }

    std::string worldFile;
    Report report;
};

}  // namespace

std::unique_ptr<SdpBackend> makeSimulatedSdp(std::string worldFile, Report report) {
    return std::make_unique<SimulatedSdp>(std::move(worldFile), std::move(report));
}

}  // namespace sdpora
