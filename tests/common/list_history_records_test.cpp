#include "common/list_history_records.h"

#include <gtest/gtest.h>

namespace {

TEST(IsoTime, WritesTheUtcCalendarTime) {
  const struct {
    time_t seconds;
    const char* text;
  } cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {951782400, "2000-02-29T00:00:00Z"},
      {1700000000, "2023-11-14T22:13:20Z"},
      {253402300799, "9999-12-31T23:59:59Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(kyto::history::isoTime(c.seconds), c.text) << c.seconds;
}

}  // namespace
