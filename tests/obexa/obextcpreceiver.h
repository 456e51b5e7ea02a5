#pragma once
// openobex's obex_tcp as an independent OBEX receiver: started without arguments in a folder of
// its own, it listens on TCP port 650, serves one connection and writes each object it receives
// into its working folder under the object's Name. One instance therefore takes one push.
// It is started with a preloaded bind() that sets SO_REUSEADDR, so that a new instance can
// listen while the previous instance's connection is still in TIME_WAIT.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace obexatest {

constexpr int obexTcpPort = 650;

class ObexTcpReceiver {
  public:
    static bool installed();
    // Starts obex_tcp in `folder` and waits until it listens; throws when it does not.
    explicit ObexTcpReceiver(const std::filesystem::path& folder);
    ~ObexTcpReceiver();
    ObexTcpReceiver(const ObexTcpReceiver&) = delete;
    ObexTcpReceiver& operator=(const ObexTcpReceiver&) = delete;

    // The received object of that name once it reached `size` bytes (waits a little for it).
    std::optional<std::vector<std::uint8_t>> received(const std::string& name, std::size_t size);
    void stop();

  private:
    bool startOnce();

    std::filesystem::path folder;
    pid_t child = -1;
};

// Whether something listens on the TCP port, read from the kernel's socket tables.
bool tcpPortListening(int port);

}  // namespace obexatest
