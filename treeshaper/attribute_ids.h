// The attribute ids chosen on the command line, and how they match ID texts of a tree file.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace kyto::treeshaper {

inline constexpr std::size_t kMaxAttributeIds = 32;
inline constexpr std::size_t kMaxAttributeIdLength = 128;

// Decimal id texts in command-line order; only the first `count` slots given alongside are used.
using AttributeIdList = std::array<std::string, kMaxAttributeIds>;

// The ID text an id stands for: its decimal reading (strtol), low 32 bits, as "0x%x".
std::string selectedIdText(const std::string& id);

// 1 when idText equals the selected ID text of one of the first `count` ids, else 0.
int isIdSelected(const char* idText, const AttributeIdList& ids, std::size_t count);

}  // namespace kyto::treeshaper
