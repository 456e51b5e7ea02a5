#pragma once
// A loopback port held while it lives, for tests that start servers on fixed ports.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/filedescriptor.h"

namespace testing_support {

// A loopback port held while it lives: bound with SO_REUSEADDR but not listening, so nobody else
// gets it from the system, while phonesim (which also sets SO_REUSEADDR) can still listen on it.
class ReservedPort {
  public:
    ReservedPort() {
        portSocket = platform::FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const int on = 1;
        ::setsockopt(portSocket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(portSocket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(portSocket.get(), reinterpret_cast<sockaddr*>(&address), &length);
        number = ntohs(address.sin_port);
    }
    ReservedPort(const ReservedPort&) = delete;
    ReservedPort& operator=(const ReservedPort&) = delete;

    int port() const { return number; }
    // Makes the port busy, as another program listening on it would.
    void occupy() { ::listen(portSocket.get(), 1); }

  private:
    platform::FileDescriptor portSocket;
    int number = 0;
};

}  // namespace testing_support
