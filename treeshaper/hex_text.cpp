#include "hex_text.h"

#include <algorithm>

#include "common/hex_digit.h"

namespace kyto::treeshaper {

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
