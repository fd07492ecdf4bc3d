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

}  // namespace kyto
