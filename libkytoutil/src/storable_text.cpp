#include "storable_text.h"

#include <cstdint>

namespace kyto::util {

namespace {

bool isXmlChar(char32_t c) {
  if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
  if (c <= 0xD7FF) return true;
  if (c < 0xE000) return false;  // UTF-16 surrogates
  if (c <= 0xFFFD) return true;
  return c >= 0x10000 && c <= 0x10FFFF;
}

// Decodes one UTF-8 sequence at p; returns its length, or 0 when it is malformed, overlong or
// cut short.
int decodeUtf8(const unsigned char* p, char32_t& c) {
  int length;
  char32_t minimum;
  if (p[0] < 0x80) {
    c = p[0];
    return 1;
  } else if ((p[0] & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, c = p[0] & 0x1F;
  } else if ((p[0] & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, c = p[0] & 0x0F;
  } else if ((p[0] & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, c = p[0] & 0x07;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;  // also stops at the terminating NUL
    c = (c << 6) | (p[i] & 0x3F);
  }
  return c >= minimum ? length : 0;
}

}  // namespace

bool isStorableText(const char* text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    char32_t c = 0;
    int length = decodeUtf8(p, c);
    if (length == 0 || !isXmlChar(c)) return false;
    p += length;
  }
  return true;
}

}  // namespace kyto::util
