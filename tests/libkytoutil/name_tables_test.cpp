#include <gtest/gtest.h>

#include <string>

#include "kytoutil/kytoutil.h"

namespace {

template <typename Record>
int namesIn(const Record* table) {
  int n = 0;
  while (table[n].name != nullptr) ++n;
  return table[n].value == 0 ? n : -1;
}

TEST(NameTables, HoldTheirNamesAndEndWithANullRecord) {
  EXPECT_EQ(namesIn(s_flagName), 10);
  EXPECT_EQ(namesIn(s_sFlagName), 8);
  EXPECT_EQ(namesIn(s_matchTypeName), 9);
  EXPECT_EQ(namesIn(s_compareTypeName), 2);
}

TEST(FlagStrToUint, OrsTheValuesOfTheNamedFlags) {
  const struct {
    uint_name_st* table;
    const char* text;
    unsigned expected;
  } cases[] = {
      {s_flagName, "DLNA|NO_RANGE", 0x08100000},
      {s_flagName, "dlna, no_range", 0x08100000},
      {s_flagName, "DLNA||Unknown", 0x00100000},
      {s_flagName, "DLNA\tNO_RANGE", 0},  // a tab is no delimiter
      {s_flagName, "", 0},
      {s_flagName, "|, |", 0},
      {s_flagName,
       "DLNA,MIME_AVI_DIVX MIME_AVI_AVI|MIME_FLAC_FLAC|MIME_WAV_WAV|NO_RESIZE|MS_PFS|NO_RANGE|"
       "USE_MODELNAME|CONTENT_LENGTH",
       0x5FF00000},
      {s_sFlagName, "SONY SONYBDP", 0x81},
      {s_sFlagName, "xbox,AppleTV,lgdevice", 0x70},
      {s_sFlagName, "SAMSUNGA SAMSUNGB SAMSUNGC", 0x0E},
      {s_flagName, nullptr, 0},
      {nullptr, "DLNA", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
    EXPECT_EQ(FlagStrToUint(c.table, c.text), c.expected);
  }
}

TEST(FlagStrToUint, LeavesTheCallersTextAsItWas) {
  char text[] = "DLNA|NO_RANGE";
  FlagStrToUint(s_flagName, text);
  EXPECT_STREQ(text, "DLNA|NO_RANGE");
}

TEST(FlagStrToInt, GivesTheValueOfTheWholeName) {
  const struct {
    int_name_st* table;
    const char* text;
    int expected;
  } cases[] = {
      {s_matchTypeName, "useragent", 1},
      {s_matchTypeName, " UserAgent", 0},
      {s_matchTypeName, "User Agent", 0},
      {s_matchTypeName, "UserAgent|ModelName", 0},
      {s_matchTypeName, "cast-device-capabilities", 7},
      {s_matchTypeName, "FriendlyName.DLNA.ORG", 8},
      {s_matchTypeName, "FriendlyName", 3},
      {s_compareTypeName, "regularexpression", 1},
      {s_compareTypeName, nullptr, 0},
      {nullptr, "UserAgent", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
    EXPECT_EQ(FlagStrToInt(c.table, c.text), c.expected);
  }
}

}  // namespace
