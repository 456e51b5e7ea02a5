#pragma once
// The radio's local name and description through bluetoothd. The radio is found the way the
// station has always found it: an adapter whose device identity says it sits on USB. That
// identity is the kernel's modalias of the adapter's device (under /sys/class/bluetooth), or,
// where the kernel shows none, the identity the service announces. A radio on another bus is not
// found.
//
// Meant for the GUI thread; each call opens its own connection and waits a bounded time.

#include <string>

#include "bluezobjects.h"

namespace bluezbus {

inline constexpr const char* kernelAdapters = "/sys/class/bluetooth";

class CRadioName {
  public:
    explicit CRadioName(std::string sysfsAdapters = kernelAdapters)
        : sysfsAdapters(std::move(sysfsAdapters)) {}

    // Gives the first USB radio (in the kernel's order) the alias `name` (UTF-8), which phones
    // then see as its name; the service keeps it across restarts. 0 on success, 1 on any failure:
    // no bus, no service, no USB radio, or the service refused the name.
    int setLocalName(const std::string& name) const;
    // The description of the last USB radio the hardware database knows ("vendor model"), or
    // empty when there is none.
    std::string radioDescription() const;

    // The adapter's device identity as described above; empty when none is known.
    std::string identityOf(const AdapterInfo& adapter) const;

  private:
    std::string sysfsAdapters;
};

bool isUsbIdentity(const std::string& modalias);
// "vendor model" from the system's hardware database, either part alone when only it is known,
// or empty when the database has neither (or cannot be opened).
std::string describeIdentity(const std::string& modalias);

}  // namespace bluezbus
