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

std::uint32_t repeatedProduct(std::uint32_t base, std::uint32_t power) {
  std::uint32_t result = 1;
  for (std::uint32_t i = 0; i < power; ++i) result *= base;
  return result;
}

TEST(IntPower, WrapsModulo2To32) {
  struct Case {
    std::uint32_t base, power, expected;
  };
  const Case cases[] = {
      {16, 0, 1},
      {16, 1, 16},
      {16, 7, 0x10000000u},
      {16, 8, 0},
      {16, 4000000000u, 0},
      {2, 31, 0x80000000u},
      {2, 32, 0},
      {0, 0, 1},
      {0, 5, 0},
      {0xffffffffu, 2, 1},
      {0xffffffffu, 3, 0xffffffffu},
      {3, 20, 3486784401u},
      {3, 21, 1870418611u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(intPower(c.base, c.power), c.expected) << c.base << "^" << c.power;
  }
}

TEST(IntPower, AgreesWithRepeatedMultiplication) {
  for (std::uint32_t base : {3u, 7u, 10u, 255u, 0x10001u, 0xdeadbeefu}) {
    for (std::uint32_t power : {5u, 33u, 64u, 1000u, 99999u}) {
      EXPECT_EQ(intPower(base, power), repeatedProduct(base, power)) << base << "^" << power;
    }
  }
}

}  // namespace
}  // namespace kyto::treeshaper
