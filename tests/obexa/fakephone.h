#pragma once
// A scripted OBEX receiver for tests: it reads each request whole, records it and answers like
// an accepting phone unless the script says otherwise for that request (by its index:
// 0 = CONNECT, 1 = first PUT, ...). It serves one connection, over a socketpair or loopback TCP.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace obexatest {

using Bytes = std::vector<std::uint8_t>;

struct Answer {
    enum class Kind { reply, splitReply, silence, close };
    Kind kind = Kind::reply;
    Bytes bytes;
    std::chrono::milliseconds delay{0};  // before the reply is sent
};

Answer reply(Bytes bytes);
// The reply after `delay`, as from a phone whose user takes that long to decide.
Answer delayedReply(Bytes bytes, std::chrono::milliseconds delay);
// The Success answer to CONNECT announcing `maxPacket` as the largest packet the phone takes.
Bytes connectAnswer(std::uint16_t maxPacket);
// The answer sent in two writes with a pause between them.
Answer splitReply(Bytes bytes);
Answer silence();
Answer closeConnection();

class FakePhone {
  public:
    enum class Mode { socketPair, tcp };
    explicit FakePhone(Mode mode, std::map<int, Answer> script = {});
    ~FakePhone();
    FakePhone(const FakePhone&) = delete;
    FakePhone& operator=(const FakePhone&) = delete;

    // socketPair: the client's end, handed over once. tcp: the port on 127.0.0.1.
    int takeClientSocket();
    int port() const { return tcpPort; }
    // Waits for the phone to finish serving and returns every request it read.
    std::vector<Bytes> requests();
    // The bytes of all PUT bodies joined: the object as the phone received it.
    Bytes receivedObject();

  private:
    void serve(int connection);
    Answer answerFor(int index, const Bytes& request) const;

    std::map<int, Answer> script;
    int clientSocket = -1;
    int listener = -1;
    int tcpPort = 0;
    std::mutex lock;
    std::vector<Bytes> seen;
    std::thread worker;
};

}  // namespace obexatest
