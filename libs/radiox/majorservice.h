#pragma once
// The name of a device's major service class: the first of the known service bits that is set in
// its class of device decides.

#include <cstdint>

class MajorService {
  public:
    explicit MajorService(std::uint32_t classOfDevice) : classOfDevice(classOfDevice) {}
    virtual ~MajorService() = default;

    // A static text ending in one blank, or "" when no known bit is set.
    const char* name() const;

  private:
    std::uint32_t classOfDevice;
};
