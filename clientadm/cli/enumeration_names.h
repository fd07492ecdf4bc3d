// The catalogue's enumerations (s_matchTypeName, s_compareTypeName) by name and by value.
#pragma once

#include <kytoutil/kytoutil.h>

#include <string_view>

namespace kyto::clientadm {

// The record whose name equals the whole text ignoring letter case, the one FlagStrToInt takes,
// or null when none does (where FlagStrToInt gives 0, as for the table's first name).
const int_name_st* findEnumerationName(const int_name_st* table, std::string_view text);

// The name of the first record with this value, or "?" when none has it.
const char* enumerationName(const int_name_st* table, int value);

}  // namespace kyto::clientadm
