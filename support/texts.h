#pragma once
// The operator texts of the running station: one table, loaded by start-up from "resource.xml",
// read by every part that shows the operator something.

#include <string>

#include "support/resomap.h"

namespace support {

// The station's one text table.
CResoMap& texts();
// The text of `key`; a key the table lacks is logged ("Key not found: <key>") and gives "".
std::string text(const std::string& key);

}  // namespace support
