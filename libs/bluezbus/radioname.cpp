#include "radioname.h"

#include <systemd/sd-hwdb.h>

#include <fstream>

namespace bluezbus {

namespace {

std::string lastComponent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string firstLineOf(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

class CHardwareDatabase {
  public:
    CHardwareDatabase() {
        if (sd_hwdb_new(&hwdb) < 0) {
            hwdb = nullptr;
        }
    }
    ~CHardwareDatabase() { sd_hwdb_unref(hwdb); }
    CHardwareDatabase(const CHardwareDatabase&) = delete;
    CHardwareDatabase& operator=(const CHardwareDatabase&) = delete;

    std::string value(const std::string& modalias, const char* key) const {
        const char* text = nullptr;
        if (hwdb == nullptr || sd_hwdb_get(hwdb, modalias.c_str(), key, &text) < 0 ||
            text == nullptr) {
            return {};
        }
        return text;
    }

  private:
    sd_hwdb* hwdb = nullptr;
};

ManagedObjects readAdapters(BusError& error) {
    const auto bus = CBusConnection::openSystem(error);
    return bus != nullptr ? readManagedObjects(*bus, error) : ManagedObjects{};
}

}  // namespace

bool isUsbIdentity(const std::string& modalias) {
    return modalias.rfind("usb:", 0) == 0;
}

std::string describeIdentity(const std::string& modalias) {
    const CHardwareDatabase database;
    const std::string vendor = database.value(modalias, "ID_VENDOR_FROM_DATABASE");
    const std::string model = database.value(modalias, "ID_MODEL_FROM_DATABASE");
    if (vendor.empty() || model.empty()) {
        return vendor + model;
    }
    return vendor + " " + model;
}

std::string CRadioName::identityOf(const AdapterInfo& adapter) const {
    const std::string kernel =
        firstLineOf(sysfsAdapters + "/" + lastComponent(adapter.path) + "/device/modalias");
    return kernel.empty() ? adapter.modalias : kernel;
}

int CRadioName::setLocalName(const std::string& name) const {
    BusError error;
    const auto bus = CBusConnection::openSystem(error);
    if (bus == nullptr) {
        return 1;
    }
    const ManagedObjects objects = readManagedObjects(*bus, error);
    for (const AdapterInfo& adapter : objects.adapters) {
        if (isUsbIdentity(identityOf(adapter))) {
            return bus->setProperty(adapter.path, adapterInterface, "Alias", name, commandLimit)
                       ? 1
                       : 0;
        }
    }
    return 1;
}

std::string CRadioName::radioDescription() const {
    BusError error;
    std::string description;
    for (const AdapterInfo& adapter : readAdapters(error).adapters) {
        const std::string identity = identityOf(adapter);
        if (!isUsbIdentity(identity)) {
            continue;
        }
        if (std::string text = describeIdentity(identity); !text.empty()) {
            description = std::move(text);
        }
    }
    return description;
}

}  // namespace bluezbus
