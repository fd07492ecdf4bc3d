#include "attribute_ids.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kyto::treeshaper {

std::string selectedIdText(const std::string& id) {
  const long value = std::strtol(id.c_str(), nullptr, 10);
  char text[16];
  std::snprintf(text, sizeof text, "0x%x",
                static_cast<unsigned>(static_cast<std::uint32_t>(value)));
  return text;
}

SelectedIds::SelectedIds(const AttributeIdList& ids, std::size_t count)
    : used_(std::min(count, ids.size())) {
  for (std::size_t i = 0; i < used_; ++i) texts_[i] = selectedIdText(ids[i]);
}

bool SelectedIds::contains(const char* idText) const {
  if (idText == nullptr) return false;
  for (std::size_t i = 0; i < used_; ++i) {
    if (std::strcmp(idText, texts_[i].c_str()) == 0) return true;
  }
  return false;
}

int isIdSelected(const char* idText, const AttributeIdList& ids, std::size_t count) {
  return SelectedIds(ids, count).contains(idText) ? 1 : 0;
}

}  // namespace kyto::treeshaper
