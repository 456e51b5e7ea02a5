#pragma once
// Run-time loading of a shared library by file name: the program's own folder first, then the
// system's default search.

#include <string>

namespace platform {

class Library {
  public:
    Library() = default;
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool open(const std::string& fileName);
    void close();
    bool isOpen() const { return handle != nullptr; }
    // The export's address, or nullptr.
    void* symbol(const std::string& name) const;
    // What the loader said about the last failed open.
    const std::string& error() const { return lastError; }

  private:
    void* handle = nullptr;
    std::string lastError;
};

}  // namespace platform
