#include "enumeration_names.h"

#include <strings.h>

namespace kyto::clientadm {

const int_name_st* findEnumerationName(const int_name_st* table, std::string_view text) {
  for (; table->name != nullptr; ++table) {
    const std::string_view name = table->name;
    if (name.size() == text.size() && strncasecmp(name.data(), text.data(), name.size()) == 0)
      return table;
  }
  return nullptr;
}

const char* enumerationName(const int_name_st* table, int value) {
  for (; table->name != nullptr; ++table) {
    if (table->value == value) return table->name;
  }
  return "?";
}

}  // namespace kyto::clientadm
