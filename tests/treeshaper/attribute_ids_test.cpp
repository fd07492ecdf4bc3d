#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "attributes.h"

namespace kyto::treeshaper {
namespace {

TEST(SelectedIdValue, ReadsDecimalAndKeepsTheLow32Bits) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"26", 26},
      {"0", 0},
      {"", 0},       // no digits read as 0
      {"  26", 26},  // leading blanks
      {"+26", 26},
      {"26abc", 26},       // reading stops at the first non-digit
      {"0x1a", 0},         // hexadecimal is not understood
      {"-1", 0xffffffff},  // low 32 bits
      {"4294967296", 0},
      {"4294967297", 1},
      {"99999999999999999999999", 0xffffffff},  // saturates, then keeps the low 32 bits
  };
  for (const auto& [id, value] : cases) EXPECT_EQ(selectedIdValue(id), value) << id;
}

AttributeIdList idList(std::initializer_list<const char*> ids) {
  AttributeIdList list{};
  std::size_t i = 0;
  for (const char* id : ids) list[i++] = id;
  return list;
}

// An ID text is selected when the value the listing shows for it is one of the ids.
TEST(IsIdSelected, MatchesTheListedValueOfTheFirstCountIds) {
  const AttributeIdList ids = idList({"1", "26", "255"});
  struct Case {
    const char* idText;
    std::size_t count;
    int expected;
  };
  const Case cases[] = {
      {"0x1", 3, 1},     {"0x1a", 3, 1},    {"0xff", 3, 1},  // first, middle, last
      {"0xff", 2, 0},                                        // beyond the count
      {"0x1", 0, 0},                                         // no ids select nothing
      {"0x1A", 3, 1},    {"0x01a", 3, 1},   {"0X1a", 3, 1},  // any spelling of the value
      {"0x0FF", 3, 1},   {"ID 0xff", 3, 1},                  // read from the first x, as listed
      {"1", 3, 0},       {"", 3, 0},                         // no x: listed as -1
      {"0x1a ", 3, 0},                                       // a blank counts as 0: 0x1a0
      {"0x0", 3, 0},      // empty slots past the count are unused
      {"0xff", 1000, 1},  // a count above the capacity is capped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isIdSelected(c.idText, ids, c.count), c.expected)
        << c.idText << " with count " << c.count;
  }
  EXPECT_EQ(isIdSelected(nullptr, ids, 3), 0);
}

TEST(IsIdSelected, EveryOneOfThirtyTwoSlotsIsSearched) {
  AttributeIdList ids{};
  for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = std::to_string(100 + i);
  EXPECT_EQ(isIdSelected("0x64", ids, ids.size()), 1);  // 100, the first
  EXPECT_EQ(isIdSelected("0x83", ids, ids.size()), 1);  // 131, the 32nd
  EXPECT_EQ(isIdSelected("0x84", ids, ids.size()), 0);
}

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
