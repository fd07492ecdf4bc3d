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

int isIdSelected(const char* idText, const AttributeIdList& ids, std::size_t count) {
  if (idText == nullptr) return 0;
  const std::size_t used = std::min(count, ids.size());
  for (std::size_t i = 0; i < used; ++i) {
    if (std::strcmp(idText, selectedIdText(ids[i]).c_str()) == 0) return 1;
  }
  return 0;
}

}  // namespace kyto::treeshaper
