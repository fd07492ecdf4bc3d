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

// The selected ID texts of the first `count` ids (at most all of them), worked out once so that
// filtering a large section compares texts only.
class SelectedIds {
 public:
  SelectedIds(const AttributeIdList& ids, std::size_t count);

  // True when idText equals one of the selected ID texts; false for null.
  bool contains(const char* idText) const;

 private:
  std::array<std::string, kMaxAttributeIds> texts_;
  std::size_t used_ = 0;
};

// 1 when idText equals the selected ID text of one of the first `count` ids, else 0.
int isIdSelected(const char* idText, const AttributeIdList& ids, std::size_t count);

}  // namespace kyto::treeshaper
