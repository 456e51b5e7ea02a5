#include "obexalibrary.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <fstream>
#include <stdexcept>

#include "libs/simworld/simworld.h"
#include "platform/btaddress.h"

namespace obexatest {

ObexaLibrary::ObexaLibrary() {
    const std::string path = std::string(NYVEX_BIN_DIR) + "/libObexa.so";
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw std::runtime_error(std::string("dlopen failed: ") + ::dlerror());
    }
    getFileStatus1 = reinterpret_cast<ObexaPushFunction>(symbol("getFileStatus1"));
    getFileStatusM = reinterpret_cast<ObexaPushFunction>(symbol("getFileStatusM"));
    getFileStatus2 = reinterpret_cast<ObexaStatusFunction>(symbol("getFileStatus2"));
    getFileStatusE = reinterpret_cast<ObexaStatusFunction>(symbol("getFileStatusE"));
    startLogging = reinterpret_cast<ObexaStartLoggingFunction>(symbol("startLogging"));
    stopLogging = reinterpret_cast<ObexaStopLoggingFunction>(symbol("stopLogging"));
    setObexPacket = reinterpret_cast<ObexaSettingFunction>(symbol("setObexPacket"));
    setAnswerWait = reinterpret_cast<ObexaSettingFunction>(symbol("setAnswerWait"));
    setPushProgress = reinterpret_cast<ObexaSetProgressFunction>(symbol("setPushProgress"));
    getPushReport = reinterpret_cast<ObexaReportFunction>(symbol("getPushReport"));
}

ObexaLibrary::~ObexaLibrary() {
    ::dlclose(handle);
}

void* ObexaLibrary::symbol(const char* name) const {
    return ::dlsym(handle, name);
}

SimWorld::SimWorld(const std::filesystem::path& file, const std::vector<SimPhone>& phones,
                   bool withRadio) {
    std::ofstream out(file);
    if (withRadio) {
        out << "[radio]\naddress=00:1A:7D:DA:71:13\nname=Test radio\ntimescale=0\n";
    }
    for (std::size_t i = 0; i < phones.size(); ++i) {
        out << "[phone" << i + 1 << "]\naddress=" << phones[i].address << "\nname=Phone" << i + 1
            << "\nclass=0x5A020C\ninrange=" << (phones[i].inRange ? 1 : 0) << "\n";
        if (!phones[i].obex.empty()) {
            out << "obex=" << phones[i].obex << "\nchannel=9\n";
        }
    }
    out.close();
    ::setenv(simworld::environmentVariable, file.c_str(), 1);
}

SimWorld::~SimWorld() {
    ::unsetenv(simworld::environmentVariable);
}

std::uint32_t addressLowOf(const std::string& colonAddress) {
    return static_cast<std::uint32_t>(platform::btaddress::parse(colonAddress).value());
}

std::uint32_t addressHighOf(const std::string& colonAddress) {
    return static_cast<std::uint32_t>(platform::btaddress::parse(colonAddress).value() >> 32);
}

}  // namespace obexatest
