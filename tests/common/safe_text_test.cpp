#include "common/safe_text.h"

#include <gtest/gtest.h>

namespace {

TEST(SafeText, ReplacesControlsAndForListingsThePipe) {
  using namespace std::string_literals;
  const struct {
    std::string in, noControls, field;
  } cases[] = {
      {"Living Room TV", "Living Room TV", "Living Room TV"},
      {"Evil|0|x\n0|de:ad", "Evil|0|x?0|de:ad", "Evil?0?x?0?de:ad"},
      {"\x1b[2J\t\r\x7f"s, "?[2J???", "?[2J???"},
      {"a\0b"s, "a?b", "a?b"},
      {"caf\xc3\xa9", "caf\xc3\xa9", "caf\xc3\xa9"},  // UTF-8 stays as it is
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kyto::withoutControls(c.in), c.noControls) << c.in;
    EXPECT_EQ(kyto::listingField(c.in), c.field) << c.in;
    EXPECT_EQ(kyto::isSafeListingField(c.in), c.field == c.in) << c.in;
  }
}

}  // namespace
