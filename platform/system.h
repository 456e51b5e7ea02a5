#pragma once
// Facts about the machine and the running program.

#include <optional>
#include <string>

namespace platform {

std::optional<std::string> computerName();
std::optional<std::string> userName();
// The system's text for an error number (errno values).
std::string systemErrorText(int errorNumber);
// The program file's folder (no trailing separator) and its name without extension.
std::string programFolder();
std::string programName();

}  // namespace platform
