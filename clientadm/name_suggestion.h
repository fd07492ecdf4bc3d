// The name a mistyped word most likely meant, for the check command's messages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kyto::clientadm {

// The name closest to word when it is close: at most 2 edits (insert, delete or replace one
// character, letter case ignored), and fewer edits than the name has characters. The first of
// equally close names wins; "" when none is close.
std::string_view nearestName(std::string_view word, const std::vector<std::string_view>& names);

// "; did you mean \"NAME\"?" for the nearest name, or "" when none is close.
std::string suggestion(std::string_view word, const std::vector<std::string_view>& names);

}  // namespace kyto::clientadm
