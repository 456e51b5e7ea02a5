#pragma once
// Temporary folders and files for the push tests.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace obexatest {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return folder; }
    // A file of `size` bytes whose byte i is a function of i, so misplaced bodies show.
    std::filesystem::path file(const std::string& name, std::size_t size) const;

  private:
    std::filesystem::path folder;
};

std::vector<std::uint8_t> patternBytes(std::size_t size);
std::vector<std::uint8_t> readAll(const std::filesystem::path& file);
std::string readText(const std::filesystem::path& file);
std::u16string wide(const std::filesystem::path& path);

}  // namespace obexatest
