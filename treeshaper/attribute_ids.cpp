#include "attribute_ids.h"
#include "common/hex_digit.h"

#include <algorithm>
#include <cstdlib>
#include <span>

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

std::int32_t hexTextToInt(std::string_view text) {
  std::size_t marker = text.find('x');
  if (marker == std::string_view::npos) marker = text.find('X');
  if (marker == std::string_view::npos) return -1;

  // Shifting in each digit wraps modulo 2^32, so only the last eight positions keep weight.
  std::uint32_t sum = 0;
  for (const char c : text.substr(marker + 1))
    sum = sum * 16 + static_cast<std::uint32_t>(std::max(hexDigitValue(c), 0));
  return static_cast<std::int32_t>(sum);
}

}  // namespace kyto::treeshaper
