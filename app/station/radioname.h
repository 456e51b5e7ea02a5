#pragma once
// The radio's local name, under which phones list the station, and the radio's description for
// the main window. In the simulated world (NYVEX_SIMULATION names a world file) the radio is the
// world file's [radio] section and its name that section's `name`; otherwise the radio is the
// first USB adapter of the system's Bluetooth service, and its name the adapter's alias.
//
// Called from the GUI thread. With a real radio a call may wait for the Bluetooth service for a
// few seconds at worst.

#include <string>

class CDInterface {
  public:
    // The description the simulated world gives its radio.
    static constexpr const char* simulatedDescription = "Nyvex simulated radio";

    virtual ~CDInterface() = default;

    // Gives the radio the name `name` (UTF-8): 0 on success, 1 on any failure (no radio, the
    // service or the world file refused it, or a name with control characters, which no radio
    // name may carry).
    int setLocalName(const std::string& name);
    // The radio's description, or empty when there is no radio.
    std::string radioDescription();
};

namespace radioname {

// The simulated world's realisation: the [radio] `name` of `worldFile`, replaced atomically.
int setSimulatedName(const std::string& worldFile, const std::string& name);
std::string simulatedDescription(const std::string& worldFile);

}  // namespace radioname
