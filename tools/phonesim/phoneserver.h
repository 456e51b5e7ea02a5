#pragma once
// One simulated phone's Object Push server: a listening TCP socket and one thread per
// connection, each running an OBEX session. The phone answers as its world file says: accept,
// refuse every object, stay silent, accept slowly, or break OBEX in one of the hostile ways. Every
// connection also goes through the phone's link: requests and answers take the time the link needs,
// and the first PUT of each object waits until the phone's user has decided.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "libs/simworld/simworld.h"
#include "tools/phonesim/hostile.h"
#include "tools/phonesim/link.h"
#include "tools/phonesim/session.h"

namespace phonesim {

enum class Answer { accept, refuse, silent, slow };

// "accept", "refuse", "silent" or "slow" (as written in a world file, lower case).
std::optional<Answer> parseAnswer(const std::string& text);

struct PhoneSettings {
    std::uint64_t address = 0;
    std::string host = "127.0.0.1";
    int port = 0;  // 0: any free port (see PhoneServer::port)
    Answer answer = Answer::accept;
    simworld::Link link{};
    // A phone that does not keep to OBEX (hostile.h); it then takes objects as `answer` says.
    std::optional<Hostility> hostility{};
};

struct ServerLimits {
    std::chrono::milliseconds readTimeout{30000};  // for a whole packet, and between packets
    std::chrono::milliseconds slowDelay{1000};     // how long a slow phone waits before answering
    std::uint64_t maxObjectSize = 64ULL << 20;
    std::size_t maxConnections = 32;  // further connections are closed at once
};

class PhoneServer {
  public:
    PhoneServer(PhoneSettings phone, std::filesystem::path inbox, EventSink events,
                ServerLimits limits = {});
    ~PhoneServer();  // stops
    PhoneServer(const PhoneServer&) = delete;
    PhoneServer& operator=(const PhoneServer&) = delete;

    // Makes the phone's folder, binds and listens, and starts accepting. On failure, what went
    // wrong (the server then does nothing).
    std::optional<std::string> start();
    // The port listened on; the one the system chose when the settings asked for 0.
    int port() const { return boundPort; }
    std::string folder() const { return phoneFolder.string(); }
    // Closes the listening socket, ends every connection and joins every thread.
    void stop();

  private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    std::optional<std::string> listenSocket();
    void acceptLoop();
    void reapFinished();
    // One whole request and when its first bytes came in.
    struct Incoming {
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point firstSeen;
    };

    void serve(int socket, Connection& connection);
    void answerRequests(int socket);
    void drain(int socket);
    void flood(int socket);
    bool sendPieces(int socket, const std::vector<WirePiece>& pieces);
    std::optional<Incoming> readPacket(int socket);
    bool readExactly(int socket, std::uint8_t* into, std::size_t count,
                     std::chrono::steady_clock::time_point deadline);
    bool waitReadable(int socket, std::chrono::steady_clock::time_point deadline);
    bool pause(std::chrono::milliseconds delay);
    // Waits until `deadline` unless the server stops first; true when the deadline was reached.
    bool pauseUntil(std::chrono::steady_clock::time_point deadline);
    // The user deciding on an object: true once the link's accept delay has passed; false when
    // the client hung up or the server stopped first, and for a user who never decides.
    bool awaitDecision(int socket);
    bool sendAll(int socket, const std::vector<std::uint8_t>& bytes);

    PhoneSettings phone;
    std::filesystem::path phoneFolder;
    EventSink events;
    ServerLimits limits;
    int listener = -1;
    int stopEvent = -1;  // eventfd, readable once stop() was called; every wait watches it
    int boundPort = 0;
    std::thread acceptor;
    // Only the accepting thread changes this list while it runs; stop() takes it after joining
    // that thread, so the list needs no lock.
    std::list<std::unique_ptr<Connection>> connections;
};

}  // namespace phonesim
