#pragma once

#include <map>
#include <string>

namespace campag {

// The content type of a file extension, from the system's extension table (/etc/mime.types).
// The table is read once; extensions are compared without regard to letter case.
class CMimeTypes {
  public:
    static constexpr const char* fallback = "application/octet-stream";

    explicit CMimeTypes(const std::string& tableFile);

    // The type of `extension` (with its leading dot, as a path gives it), or `fallback`.
    std::string typeOf(const std::string& extension) const;

    // The table of the system, shared by every campaign.
    static const CMimeTypes& system();

  private:
    std::map<std::string, std::string> types;
};

}  // namespace campag
