#include "common/safe_text.h"

#include <array>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  // The listing checks every text field of every client it prints: sixteen bytes at a time, and
  // a table for the rest.
  static constexpr auto kUnsafe = [] {
    std::array<bool, 256> unsafe{};
    for (int byte = 0; byte < 256; ++byte) unsafe[byte] = isListingUnsafe(static_cast<char>(byte));
    return unsafe;
  }();
  std::size_t at = 0;
#if defined(__SSE2__)
  const __m128i controls = _mm_set1_epi8(0x1F);
  const __m128i del = _mm_set1_epi8(0x7F);
  const __m128i bar = _mm_set1_epi8('|');
  for (; at + 16 <= text.size(); at += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(block, controls), controls);
    const __m128i unsafe =
        _mm_or_si128(control, _mm_or_si128(_mm_cmpeq_epi8(block, del), _mm_cmpeq_epi8(block, bar)));
    if (_mm_movemask_epi8(unsafe) != 0) return false;
  }
#endif
  // Eight bytes at a time for what is left: most fields are shorter than sixteen.
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    const std::uint64_t ascii = ~word & kHighs;  // the bytes from 0x80 are safe
    const std::uint64_t control = (word - kOnes * 0x20) & ascii;
    const std::uint64_t barX = word ^ (kOnes * '|');
    const std::uint64_t delX = word ^ (kOnes * 0x7F);
    const std::uint64_t bar = (barX - kOnes) & ~barX & kHighs;
    const std::uint64_t del = (delX - kOnes) & ~delX & kHighs;
    if ((control | bar | del) != 0) return false;
  }
  for (; at < text.size(); ++at)
    if (kUnsafe[static_cast<unsigned char>(text[at])]) return false;
  return true;
}

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// How many bytes from text[at] on form one well-formed UTF-8 character (Unicode's table of
// well-formed byte sequences), or, when they form none, how many form its longest start: that
// start is replaced as one, and the byte that broke it is read again on its own.
std::size_t utf8Character(std::string_view text, std::size_t at, bool& whole) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    whole = false;
    return 1;
  }
  std::size_t taken = 1;
  for (; taken < length && at + taken < text.size(); ++taken) {
    const unsigned char next = byte(at + taken);
    const bool fits = taken == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
    if (!fits) break;
  }
  whole = taken == length;
  return taken;
}

bool isPlainJsonByte(unsigned char c) {
  return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

void appendEscaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
  }
  const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
  out.append(escape, sizeof escape);
}

}  // namespace

// A JSON string: quotes, backslashes and control characters escaped, valid UTF-8 as it is, and
// each longest start of a character that is no valid UTF-8 as U+FFFD. A device names itself,
// and nothing guarantees that its name is UTF-8.
void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t plain = at;
    while (plain < text.size() && isPlainJsonByte(static_cast<unsigned char>(text[plain]))) ++plain;
    out.append(text.data() + at, plain - at);
    at = plain;
    if (at == text.size()) break;
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      appendEscaped(out, c);
      ++at;
      continue;
    }
    bool whole = false;
    const std::size_t length = utf8Character(text, at, whole);
    out.append(whole ? text.substr(at, length) : kReplacement);
    at += length;
  }
  out += '"';
}

}  // namespace kyto
