// The value of one hexadecimal digit, either letter case.
#pragma once

namespace kyto {

namespace detail {

constexpr int computedHexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Looked up rather than computed: every MAC text of a large list passes through here.
struct HexTable {
  signed char value[256];
};

constexpr HexTable makeHexTable() {
  HexTable table{};
  for (int c = 0; c < 256; ++c) table.value[c] = static_cast<signed char>(computedHexValue(c));
  return table;
}

inline constexpr HexTable kHexTable = makeHexTable();

}  // namespace detail

// 0 to 15, or -1 when c is no hexadecimal digit.
constexpr int hexDigitValue(char c) {
  return detail::kHexTable.value[static_cast<unsigned char>(c)];
}

}  // namespace kyto
