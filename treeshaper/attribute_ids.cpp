#include "attribute_ids.h"

#include <algorithm>
#include <cstdlib>
#include <span>

#include "hex_text.h"

namespace kyto::treeshaper {

std::uint32_t selectedIdValue(const std::string& id) {
  return static_cast<std::uint32_t>(std::strtol(id.c_str(), nullptr, 10));
}

SelectedIds::SelectedIds(const AttributeIdList& ids, std::size_t count)
    : used_(std::min(count, ids.size())) {
  for (std::size_t i = 0; i < used_; ++i) values_[i] = selectedIdValue(ids[i]);
}

bool SelectedIds::contains(const char* idText) const {
  if (idText == nullptr) return false;
  const auto value = static_cast<std::uint32_t>(hexTextToInt(idText));
  const std::span<const std::uint32_t> selected = std::span(values_).first(used_);
  return std::ranges::find(selected, value) != selected.end();
}

int isIdSelected(const char* idText, const AttributeIdList& ids, std::size_t count) {
  return SelectedIds(ids, count).contains(idText) ? 1 : 0;
}

}  // namespace kyto::treeshaper
