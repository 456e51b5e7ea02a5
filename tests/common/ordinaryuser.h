#pragma once
// Tests of files that cannot be read. Root reads a file whatever its mode, and the tests often run
// as root (containers, CI): while an OrdinaryUserFiles lives, the calling thread meets file
// permissions as the user "nobody" does. Run as any other user it changes nothing: that user
// already meets them. Other threads are not affected.

#include <sys/fsuid.h>
#include <unistd.h>

#include <filesystem>

namespace testing_support {

class OrdinaryUserFiles {
  public:
    static constexpr uid_t nobody = 65534;

    OrdinaryUserFiles() : wasRoot(::geteuid() == 0) {
        if (wasRoot) {
            ::setfsuid(nobody);
        }
    }
    ~OrdinaryUserFiles() {
        if (wasRoot) {
            ::setfsuid(0);
        }
    }
    OrdinaryUserFiles(const OrdinaryUserFiles&) = delete;
    OrdinaryUserFiles& operator=(const OrdinaryUserFiles&) = delete;

    // Lets everybody into `folder` (and change it), so that only the modes of its files count.
    static void openFolder(const std::filesystem::path& folder) {
        std::filesystem::permissions(folder, std::filesystem::perms::all);
    }
    static void makeUnreadable(const std::filesystem::path& file) {
        std::filesystem::permissions(file, std::filesystem::perms::none);
    }

  private:
    bool wasRoot;
};

}  // namespace testing_support
