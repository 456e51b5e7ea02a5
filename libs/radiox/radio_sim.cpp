// The simulated radio: the world file's [radio] is the one local radio, and an inquiry finds the
// phones in range in file order after the time a real inquiry of that length would take.

#include <chrono>
#include <cmath>
#include <thread>

#include "libs/simworld/simworld.h"
#include "platform/files.h"
#include "platform/text.h"
#include "radiobackend.h"

namespace radiox {

namespace {

constexpr double secondsPerLengthUnit = 1.28;
// No real inquiry lasts longer than the longest length (255 units); a world that asks for more
// would only hang the caller.
constexpr double longestInquirySeconds = 255 * secondsPerLengthUnit;
// What fits in the name field of the device record, leaving room for the end mark.
constexpr std::size_t nameLimit = 247;

class SimulatedRadio : public RadioBackend {
  public:
    SimulatedRadio(std::string file, Report report)
        : worldFile(std::move(file)), report(std::move(report)) {}

    RadioSearch radios() override {
        const simworld::World world = loadWorld();
        if (!world.radio) {
            return {{}, ENODEV};
        }
        RadioFacts radio;
        radio.address = world.radio->address;
        radio.name = world.radio->name;
        return {{radio}, 0};
    }

    InquiryResult inquire(int length, std::size_t maxDevices) override {
        // A world whose radio vanished since it was counted finds no device.
        const simworld::World world = loadWorld();
        if (!world.radio) {
            return {};
        }
        waitFor(length * secondsPerLengthUnit * timescaleOf(*world.radio));
        InquiryResult result;
        for (const simworld::Phone& phone : world.phones) {
            if (!phone.inRange) {
                continue;
            }
            if (result.devices.size() == maxDevices) {
                report("world file " + worldFile + ": more than " + std::to_string(maxDevices) +
                       " phones in range, the first " + std::to_string(maxDevices) +
                       " are reported");
                break;
            }
            checkName(phone);
            result.devices.push_back({phone.address, phone.classOfDevice, phone.name});
        }
        return result;
    }

  private:
    simworld::World loadWorld() {
        if (platform::fileExists(worldFile) && !platform::readFile(worldFile)) {
            report("world file " + worldFile + " cannot be read: no radio");
            return {};
        }
        simworld::World world = simworld::load(worldFile);
        for (const std::string& problem : world.problems) {
            report("world file " + worldFile + ": " + problem);
        }
        if (!world.radio && world.problems.empty()) {
            report("world file " + worldFile + " has no [radio]: no radio");
        }
        return world;
    }

    double timescaleOf(const simworld::Radio& radio) {
        if (std::isfinite(radio.timescale)) {
            return radio.timescale;
        }
        report("world file " + worldFile + ": [radio]: bad timescale, using 1");
        return 1.0;
    }

    void waitFor(double seconds) {
        if (seconds > longestInquirySeconds) {
            report("world file " + worldFile + ": timescale too large, inquiry cut to " +
                   std::to_string(longestInquirySeconds) + " s");
            seconds = longestInquirySeconds;
        }
        if (seconds > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        }
    }

    void checkName(const simworld::Phone& phone) {
        const std::u16string wide = platform::toUtf16(phone.name);
        if (platform::toUtf8(wide) != phone.name) {
            report("[" + phone.section + "]: name is not UTF-8, bad bytes replaced");
        }
        if (wide.size() > nameLimit) {
            report("[" + phone.section + "]: name longer than " + std::to_string(nameLimit) +
                   " characters, cut");
        }
    }

    std::string worldFile;
    Report report;
};

}  // namespace

std::unique_ptr<RadioBackend> makeSimulatedRadio(std::string worldFile, Report report) {
    return std::make_unique<SimulatedRadio>(std::move(worldFile), std::move(report));
}

}  // namespace radiox
