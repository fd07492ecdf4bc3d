#include "common/safe_text.h"

#include <array>

namespace kyto {

namespace {

constexpr bool isControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

constexpr bool isListingUnsafe(char c) {
  return c == '|' || isControl(c);
}

template <typename Unsafe>
std::string replaced(std::string_view text, Unsafe unsafe) {
  std::string safe(text);
  for (char& c : safe)
    if (unsafe(c)) c = '?';
  return safe;
}

}  // namespace

std::string withoutControls(std::string_view text) {
  return replaced(text, isControl);
}

bool isSafeToPrint(std::string_view text) {
  for (char c : text)
    if (isControl(c)) return false;
  return true;
}

std::string listingField(std::string_view text) {
  return replaced(text, isListingUnsafe);
}

bool isSafeListingField(std::string_view text) {
  // A table: the listing checks every text field of every client it prints.
  static constexpr auto kUnsafe = [] {
    std::array<bool, 256> unsafe{};
    for (int byte = 0; byte < 256; ++byte) unsafe[byte] = isListingUnsafe(static_cast<char>(byte));
    return unsafe;
  }();
  for (char c : text)
    if (kUnsafe[static_cast<unsigned char>(c)]) return false;
  return true;
}

}  // namespace kyto
