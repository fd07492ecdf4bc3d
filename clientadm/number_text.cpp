#include "number_text.h"

#include <cstdlib>

namespace kyto::clientadm {

std::int32_t parseDecimal32(const char* text) {
  if (text == nullptr) return 0;
  const long value = std::strtol(text, nullptr, 10);
  // Keep the low 32 bits through the unsigned type, which is well defined for every long.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(value)));
}

}  // namespace kyto::clientadm
