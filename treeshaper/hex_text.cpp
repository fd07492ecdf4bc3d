#include "hex_text.h"

#include <algorithm>

namespace kyto::treeshaper {

namespace {

std::uint32_t hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
  return 0;
}

}  // namespace

std::uint32_t intPower(std::uint32_t base, std::uint32_t power) {
  // Square and multiply gives the same wrapped product as repeated multiplication, without a
  // loop as long as the power.
  std::uint32_t result = 1;
  while (power != 0) {
    if ((power & 1u) != 0) result *= base;
    base *= base;
    power >>= 1;
  }
  return result;
}

std::int32_t hexTextToInt(std::string_view text) {
  std::size_t marker = text.find('x');
  if (marker == std::string_view::npos) marker = text.find('X');
  if (marker == std::string_view::npos) return -1;

  const std::string_view digits = text.substr(marker + 1);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const std::size_t position = digits.size() - 1 - i;
    // Every power of 16 from 8 up wraps to 0, so clamping a huge position keeps its weight.
    const auto weight =
        intPower(16, static_cast<std::uint32_t>(std::min<std::size_t>(position, 8)));
    sum += hexDigitValue(digits[i]) * weight;
  }
  return static_cast<std::int32_t>(sum);
}

}  // namespace kyto::treeshaper
