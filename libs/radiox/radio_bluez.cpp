// The BlueZ radio: local radios through the HCI device list, inquiries through hci_inquiry with
// the inquiry cache flushed, and each found device's name asked from the device itself.

#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>
#include <bluetooth/hci_lib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/system.h"
#include "radiobackend.h"

namespace radiox {

namespace {

// How long one radio or one remote device may take to answer a request for its name.
constexpr int localRequestTimeoutMs = 1000;
constexpr int remoteNameTimeoutMs = 5000;
constexpr int nameBytes = 248;

std::uint64_t addressOf(const bdaddr_t& address) {
    std::uint64_t value = 0;
    for (int i = 5; i >= 0; --i) {
        value = (value << 8) | address.b[i];
    }
    return value;
}

std::uint32_t classOf(const std::uint8_t (&deviceClass)[3]) {
    return deviceClass[0] | (deviceClass[1] << 8) |
           (static_cast<std::uint32_t>(deviceClass[2]) << 16);
}

// A name field of `nameBytes` bytes; the device need not end it.
std::string nameText(const char* bytes) {
    return std::string(bytes, ::strnlen(bytes, nameBytes));
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd; }

  private:
    int fd;
};

class BluezRadio : public RadioBackend {
  public:
    explicit BluezRadio(Report report) : report(std::move(report)) {}

    RadioSearch radios() override {
        FileDescriptor control(::socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC, BTPROTO_HCI));
        if (control.get() < 0) {
            return {{}, errno};
        }
        std::vector<char> buffer(sizeof(hci_dev_list_req) + HCI_MAX_DEV * sizeof(hci_dev_req));
        auto* list = reinterpret_cast<hci_dev_list_req*>(buffer.data());
        list->dev_num = HCI_MAX_DEV;
        if (::ioctl(control.get(), HCIGETDEVLIST, list) < 0) {
            return {{}, errno};
        }
        RadioSearch search;
        for (int i = 0; i < list->dev_num; ++i) {
            hci_dev_info info{};
            if (::hci_devinfo(list->dev_req[i].dev_id, &info) < 0) {
                search.lastError = errno;
                continue;
            }
            search.radios.push_back(describe(info));
        }
        return search;
    }

    InquiryResult inquire(int length, std::size_t maxDevices) override {
        // The radio counted a moment ago may be down or gone; that is no device found.
        const int radio = ::hci_get_route(nullptr);
        if (radio < 0) {
            report("no radio up for the inquiry: " + platform::systemErrorText(errno));
            return {};
        }
        inquiry_info* found = nullptr;
        const int count = ::hci_inquiry(radio, length, static_cast<int>(maxDevices), nullptr,
                                        &found, IREQ_CACHE_FLUSH);
        if (count < 0) {
            return {true, errno, {}};
        }
        InquiryResult result;
        FileDescriptor device(::hci_open_dev(radio));
        for (int i = 0; i < count && result.devices.size() < maxDevices; ++i) {
            result.devices.push_back({addressOf(found[i].bdaddr), classOf(found[i].dev_class),
                                      remoteName(device.get(), found[i].bdaddr)});
        }
        ::bt_free(found);
        return result;
    }

  private:
    // The radio's own name, class and version need the radio to be up; a radio that is down is
    // named by its interface ("hci0").
    RadioFacts describe(const hci_dev_info& info) {
        RadioFacts radio;
        radio.address = addressOf(info.bdaddr);
        radio.name = std::string(info.name, ::strnlen(info.name, sizeof info.name));
        if ((info.flags & (1u << HCI_UP)) == 0) {
            return radio;
        }
        FileDescriptor device(::hci_open_dev(info.dev_id));
        if (device.get() < 0) {
            return radio;
        }
        char name[nameBytes + 1] = {};
        if (::hci_read_local_name(device.get(), nameBytes, name, localRequestTimeoutMs) == 0) {
            radio.name = nameText(name);
        }
        std::uint8_t deviceClass[3] = {};
        if (::hci_read_class_of_dev(device.get(), deviceClass, localRequestTimeoutMs) == 0) {
            radio.classOfDevice = classOf(deviceClass);
        }
        hci_version version{};
        if (::hci_read_local_version(device.get(), &version, localRequestTimeoutMs) == 0) {
            radio.subVersion = version.lmp_subver;
            radio.manufacturer = version.manufacturer;
        }
        return radio;
    }

    std::string remoteName(int device, const bdaddr_t& address) {
        char name[nameBytes + 1] = {};
        if (device < 0 ||
            ::hci_read_remote_name(device, &address, nameBytes, name, remoteNameTimeoutMs) < 0) {
            report("no name from a device: " + platform::systemErrorText(errno));
            return {};
        }
        return nameText(name);
    }

    Report report;
};

}  // namespace

std::unique_ptr<RadioBackend> makeBluezRadio(Report report) {
    return std::make_unique<BluezRadio>(std::move(report));
}

}  // namespace radiox
