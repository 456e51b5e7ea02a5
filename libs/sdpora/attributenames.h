#pragma once
// The names the log gives SDP attribute ids.

#include <cstdint>

namespace sdpora {

// The name of attribute `id`, or nullptr when it has none. Ids that several profiles define give
// the first name of the table.
const char* attributeName(std::uint16_t id);

}  // namespace sdpora
