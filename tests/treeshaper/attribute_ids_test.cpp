#include "attribute_ids.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

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

}  // namespace
}  // namespace kyto::treeshaper
