#pragma once
// libObexa.so loaded the way the program loads it, and simulated worlds for it to push into.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "libs/include/obexa.h"

namespace obexatest {

class ObexaLibrary {
  public:
    ObexaLibrary();
    ~ObexaLibrary();
    ObexaLibrary(const ObexaLibrary&) = delete;
    ObexaLibrary& operator=(const ObexaLibrary&) = delete;

    void* symbol(const char* name) const;

    ObexaPushFunction getFileStatus1 = nullptr;
    ObexaPushFunction getFileStatusM = nullptr;
    ObexaStatusFunction getFileStatus2 = nullptr;
    ObexaStatusFunction getFileStatusE = nullptr;
    ObexaStartLoggingFunction startLogging = nullptr;
    ObexaStopLoggingFunction stopLogging = nullptr;
    ObexaSettingFunction setObexPacket = nullptr;
    ObexaSettingFunction setAnswerWait = nullptr;
    ObexaSetProgressFunction setPushProgress = nullptr;
    ObexaReportFunction getPushReport = nullptr;

  private:
    void* handle = nullptr;
};

struct SimPhone {
    std::string address;  // colon form
    bool inRange = true;
    std::string obex;  // "host:port", empty for none
};

// Writes a world file with a radio (unless `withRadio` is false) and the phones, and points
// NYVEX_SIMULATION at it for the lifetime of the object.
class SimWorld {
  public:
    SimWorld(const std::filesystem::path& file, const std::vector<SimPhone>& phones,
             bool withRadio = true);
    ~SimWorld();
    SimWorld(const SimWorld&) = delete;
    SimWorld& operator=(const SimWorld&) = delete;
};

// The address halves the program passes for a colon-form address.
std::uint32_t addressLowOf(const std::string& colonAddress);
std::uint32_t addressHighOf(const std::string& colonAddress);

}  // namespace obexatest
