#include "hex_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace kyto::treeshaper {
namespace {

struct HexCase {
  std::string text;
  std::int32_t expected;
};

TEST(HexTextToInt, ReadsDigitsAfterFirstXInWrappingArithmetic) {
  const HexCase cases[] = {
      {"0x1a", 26},
      {"0X1A", 26},
      {"0x00ff", 255},
      {"0x", 0},
      {"12", -1},
      {"", -1},
      {"ab0x10", 16},
      {"0x1g", 16},    // an unknown character is a zero digit
      {"0x1x2", 258},  // digits run from the first x: "1x2"
      {"X1x2", 2},     // a lower-case x is preferred over an earlier upper-case one
      {"0x7fffffff", 2147483647},
      {"0x80000000", -2147483647 - 1},
      {"0xffffffff", -1},
      {"0x100000000", 0},  // 16^8 wraps to 0
      {"0x123456789", 0x23456789},
      {"0xa", 10},
      {"0x0A", 10},
  };
  for (const HexCase& c : cases) EXPECT_EQ(hexTextToInt(c.text), c.expected) << c.text;
}

TEST(HexTextToInt, OnlyTheLastEightDigitsOfAVeryLongTextCount) {
  const std::string text = "0x" + std::string(100000, 'f') + "00000001";
  EXPECT_EQ(hexTextToInt(text), 1);
}

}  // namespace
}  // namespace kyto::treeshaper
