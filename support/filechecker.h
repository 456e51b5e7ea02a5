#pragma once
// Name, folder and size checks used by the campaigns and the configuration.

#include <cstdint>
#include <string>

class CFileChecker {
  public:
    virtual ~CFileChecker() = default;

    // 3 to 17 characters, none of them one of the 27 characters that files and sections must not
    // carry.
    static bool isValidFileName(const std::string& name);
    static bool hasSize(const std::string& path, std::uint64_t size);
    // The path up to and including its last separator; empty when there is none.
    static std::string folderOf(const std::string& path);
    static bool folderExists(const std::string& path);

    static const std::u16string& forbiddenCharacters();
};
