#pragma once
// A phone's Object Push server on loopback TCP for tests: it answers CONNECT, every PUT and
// DISCONNECT, stores the object's body and Type, and either accepts the object or refuses its
// last packet with Forbidden (0xC3). It serves connections one after the other until destroyed.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/filedescriptor.h"

namespace sendingtest {

class ScriptedPhone {
  public:
    explicit ScriptedPhone(bool accepts);
    ~ScriptedPhone();
    ScriptedPhone(const ScriptedPhone&) = delete;
    ScriptedPhone& operator=(const ScriptedPhone&) = delete;

    int port() const { return listenPort; }
    // The body and the Type of the last object received.
    std::string body();
    std::string type();

  private:
    void serve();
    void converse(int connection);

    bool accepts;
    platform::FileDescriptor listener;
    int listenPort = 0;
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::string receivedBody;
    std::string receivedType;
    std::thread server;
};

}  // namespace sendingtest
