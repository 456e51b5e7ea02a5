#pragma once
// The plain-text trace of one push. The sender owns the log file; the packet objects receive a
// copy of this small record so that they write into the same file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace obexa {

// Where a helper was called from, given as a default argument of built-ins that the compiler
// fills in at each call, as std::source_location does; unlike std::source_location they work
// with every compiler the station is built with (clang 14 cannot use GCC 12's).
struct CallSite {
    const char* function = "";
    const char* file = "";
    unsigned line = 0;
};

struct CLogTarget {
    bool logging = false;
    std::FILE* stream = nullptr;

    bool active() const { return logging && stream != nullptr; }
    // printf-style line; the caller supplies the line end, as the trace format demands.
    void line(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    // Wide text (UTF-16 as received or given) written as UTF-8.
    void wide(std::u16string_view text) const;
    // Up to `limit` bytes as upper-case hexadecimal pairs, followed by `ending`.
    void hex(const std::uint8_t* bytes, std::size_t count, std::size_t limit,
             const char* ending) const;
    // The two lines that replace a crash when a bounded helper is handed too much.
    void invalidParameter(const char* expression, CallSite where) const;
};

}  // namespace obexa
