#pragma once
// The plain-text trace that each library of the station can write for its developers: switched
// on with the path of one file (opened for appending), switched off again at any time, from any
// thread. The program itself never switches it on.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/timedmutex.h"

class CDllComponent {
  public:
    // A trace path of this many UTF-16 units or more is refused.
    static constexpr std::size_t pathLimit = 256;
    static constexpr int traceLockWaitMs = 1000;

    CDllComponent() = default;
    virtual ~CDllComponent();
    CDllComponent(const CDllComponent&) = delete;
    CDllComponent& operator=(const CDllComponent&) = delete;

    // 1 when tracing into `path` is now on; 0, with tracing off, when the path is missing or too
    // long or the file does not open.
    int startLogging(const char16_t* path);
    void stopLogging();

    // Writes formatted text to the trace; nothing when tracing is off or the trace lock is not had
    // in time. Wide texts are passed as UTF-8 with "%s".
    void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The address as the trace shows it, most significant byte first: "00:1A:7D:DA:71:13\n".
    void traceAddress(std::uint64_t address);

  private:
    void closeTrace();

    platform::TimedMutex traceLock;
    std::FILE* traceFile = nullptr;
    std::string tracePath;
};
