#pragma once
// A push log written into memory, for asserting the trace lines.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "libs/obexa/logtarget.h"

namespace obexatest {

class LogCapture {
  public:
    LogCapture() : stream(open_memstream(&buffer, &size)) {}
    ~LogCapture() {
        std::fclose(stream);
        std::free(buffer);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    obexa::CLogTarget target() const { return {true, stream}; }
    std::string text() {
        std::fflush(stream);
        return std::string(buffer, size);
    }

  private:
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream;
};

}  // namespace obexatest
