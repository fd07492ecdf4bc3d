#include "common/safe_text.h"

namespace kyto {

namespace {

bool isControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

template <typename Unsafe>
std::string replaced(std::string_view text, Unsafe unsafe) {
  std::string safe(text);
  for (char& c : safe)
    if (unsafe(c)) c = '?';
  return safe;
}

}  // namespace

std::string withoutControls(std::string_view text) { return replaced(text, isControl); }

std::string listingField(std::string_view text) {
  return replaced(text, [](char c) { return c == '|' || isControl(c); });
}

}  // namespace kyto
