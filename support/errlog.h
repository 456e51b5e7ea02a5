#pragma once
// The station's one error log: UTF-16LE entries in "<program>_err.txt" in the current directory,
// rolled over to "olderr.txt" once the file grows past 960000 bytes.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class CFLogBase {
  public:
    virtual ~CFLogBase() = default;
};

class CErrLog1 : public CFLogBase {
  public:
    static constexpr std::uint64_t rollOverSize = 960000;

    // Appends one seven-line entry and applies the roll-over rule; returns the entry text.
    // The caller serialises writers (support::logError).
    static std::string write(const std::string& message, const std::string& sourceType,
                             const std::string& extra);

    static std::string logFileName();
    // The entry's lines; a name the system does not give (nullopt) leaves its line out.
    static std::string entryText(const std::string& message, const std::string& sourceType,
                                 const std::string& extra,
                                 const std::optional<std::string>& computer,
                                 const std::optional<std::string>& user);
};

namespace support {

// Where a problem that cannot be logged is shown: stderr always, and the GUI where one runs.
using AlertHandler = std::function<void(const std::string& text)>;
void setAlertHandler(AlertHandler handler);
void alert(const std::string& text);

}  // namespace support
