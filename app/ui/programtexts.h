#pragma once
// The program's own texts, which are part of the program rather than of the operator's text
// file: its version, the maker's web address and the about item.

#include "config/configstore.h"

namespace programtexts {

inline constexpr const char* webAddress = "www.nyvex.example";
inline constexpr const char* version = CInit::versionText;
inline constexpr const char* aboutItem = "&About Nyvex...";

}  // namespace programtexts
