// The attributes of a tree's sections: the listing of --list and --read, the ids chosen on the
// command line, and how they match the ID texts of a tree file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kyto::treeshaper {
inline constexpr std::size_t kMaxAttributeIds = 32;
inline constexpr std::size_t kMaxAttributeIdLength = 128;

// Decimal id texts in command-line order; only the first `count` slots given alongside are used.
using AttributeIdList = std::array<std::string, kMaxAttributeIds>;

// The value an id selects: its decimal reading (strtol), low 32 bits.
std::uint32_t selectedIdValue(const std::string& id);

// The values of the first `count` ids (at most all of them), worked out once so that filtering a
// large section reads each ID text once and compares numbers.
class SelectedIds {
 public:
  SelectedIds(const AttributeIdList& ids, std::size_t count);

  // True when the ID text, read as the listing reads it (hexTextToInt), has one of the selected
  // values: what --list shows as 10 is kept by the id 10, whether written "0xa" or "0x0A".
  // False for null.
  bool contains(const char* idText) const;

 private:
  std::array<std::uint32_t, kMaxAttributeIds> values_{};
  std::size_t used_ = 0;
};

// 1 when idText is selected by one of the first `count` ids (see SelectedIds::contains), else 0.
int isIdSelected(const char* idText, const AttributeIdList& ids, std::size_t count);

// The hexadecimal digits after the first "x" (else the first "X") of a text, summed in wrapping
// 32-bit arithmetic and read as signed: -1 without either letter, 0 with nothing after it. Other
// characters count as the digit 0, and only the last eight positions carry weight.
std::int32_t hexTextToInt(std::string_view text);

// Prints "<id> <name>" for each attribute of the first section named `type` in the file, control
// characters of the name as '?'. False, after its message, when the file can't be read or lacks
// the section.
bool showTreeAttributes(const std::string& fileName, const std::string& type);

// showTreeAttributes on the template.
bool listTreeAttributes(const std::string& type);

}  // namespace kyto::treeshaper
