#pragma once
// A datagram socket in place of systemd's notification socket: a program given its address as
// NOTIFY_SOCKET sends its notices ("READY=1", "WATCHDOG=1", …) here, and the test reads them.
// The address is in the abstract name space, so a program running as another user reaches it
// too.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/filedescriptor.h"

namespace testing_support {

class NotifySocket {
  public:
    NotifySocket() {
        static std::atomic<int> made{0};
        name = "nyvex-notify-test-" + std::to_string(::getpid()) + "-" + std::to_string(made++);
        socket = platform::FileDescriptor(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.data(), name.size());  // sun_path[0] = 0: abstract
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        bound = ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), length) == 0;
    }

    bool isBound() const { return bound; }
    // The value for NOTIFY_SOCKET.
    std::string address() const { return "@" + name; }

    // The next notice, or "" when none came within `wait`.
    std::string receive(std::chrono::milliseconds wait) {
        pollfd ready{socket.get(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(wait.count())) != 1) {
            return "";
        }
        char buffer[4096];
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
    }

    // Notices until one contains `part` (it included) or `wait` passed; all that came.
    std::vector<std::string> receiveUntil(const std::string& part, std::chrono::milliseconds wait) {
        std::vector<std::string> notices;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return notices;
            }
            const std::string notice = receive(left);
            if (!notice.empty()) {
                notices.push_back(notice);
                if (notice.find(part) != std::string::npos) {
                    return notices;
                }
            }
        }
    }

  private:
    std::string name;
    platform::FileDescriptor socket;
    bool bound = false;
};

}  // namespace testing_support
