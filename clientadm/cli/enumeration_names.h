// The catalogue's enumerations (s_matchTypeName, s_compareTypeName) by name and by value.
#pragma once

#include <kytoutil/kytoutil.h>

#include <string_view>

namespace kyto::clientadm {

// The values of the library's tables that clientadm acts on.
inline constexpr int kMatchNone = 0;          // s_matchTypeName: matched against no property
inline constexpr int kStringFind = 0;         // s_compareTypeName: a search for the text
inline constexpr int kRegularExpression = 1;  // s_compareTypeName: POSIX extended, searched

// The record whose name equals the whole text ignoring letter case, the one FlagStrToInt takes,
// or null when none does (where FlagStrToInt gives 0, as for the table's first name).
const int_name_st* findEnumerationName(const int_name_st* table, std::string_view text);

// The name of the first record with this value, or "?" when none has it.
const char* enumerationName(const int_name_st* table, int value);

}  // namespace kyto::clientadm
