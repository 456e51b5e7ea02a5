#pragma once
// The keyed digest under which the device memory stores a device: MD5 of the text followed by
// a fixed salt, so the memory never holds an address in clear.

#include <string>
#include <string_view>

#include "memory/md5.h"

namespace backo {

class CBOHash : public CRsaMd52 {
  public:
    static constexpr std::string_view salt = "status 58 in routine";

    std::string hashWithSalt(std::string_view text) {
        std::string message(text);
        message += salt;
        return hash(message);
    }
};

}  // namespace backo
