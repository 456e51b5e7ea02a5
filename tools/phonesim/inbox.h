#pragma once
// Where a simulated phone keeps what it receives: INBOX/<address>/<name>. An object is written to
// a temporary file in that folder and renamed to its name only once it is complete, so whoever
// sees the name sees the whole object, and an interrupted push leaves nothing behind.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace phonesim {

// The phone's folder name: twelve upper-case hexadecimal digits, most significant byte first.
std::string compactAddress(std::uint64_t address);

// Why a name from the wire cannot become a file name in the phone's folder, or nothing when it
// can. Names are untrusted: no path separators, no "..", no hidden or control characters.
std::optional<std::string> nameProblem(const std::string& name);

// One object on its way into a phone's folder.
class IncomingObject {
  public:
    // Throws std::system_error when the temporary file cannot be made.
    explicit IncomingObject(const std::filesystem::path& folder);
    ~IncomingObject();  // removes the temporary file unless the object was stored
    IncomingObject(const IncomingObject&) = delete;
    IncomingObject& operator=(const IncomingObject&) = delete;

    bool append(std::span<const std::uint8_t> bytes);
    // Renames the complete object to `name` (an acceptable name) in the folder, replacing an
    // older object of that name.
    bool store(const std::string& name);
    std::uint64_t size() const { return written; }

  private:
    std::filesystem::path folder;
    std::filesystem::path temporary;
    int fd = -1;
    std::uint64_t written = 0;
    bool stored = false;
};

}  // namespace phonesim
