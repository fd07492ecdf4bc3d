#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "kytoutil/kytoutil.h"

namespace {

struct HeapText {
  explicit HeapText(char* text) : text(text) {}
  ~HeapText() { free(text); }
  char* text;
};

TEST(GetUPnPConfig, ReturnsAnIndependentCopy) {
  char* original = strdup("/etc/config/kytomediasvr/clients.xml");
  HeapText copy(GetUPnPConfig(original));
  ASSERT_NE(copy.text, nullptr);
  EXPECT_NE(copy.text, original);
  free(original);
  EXPECT_STREQ(copy.text, "/etc/config/kytomediasvr/clients.xml");
}

class ProfileName : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("KYTO_ROOT"); }
};

TEST_F(ProfileName, MapsIdsToTheirFilesCountingFromOne) {
  unsetenv("KYTO_ROOT");
  const char* const files[] = {"standard_1.xml", "standard_2.xml", "standard_3.xml",
                               "custom_1.xml",   "custom_2.xml",   "custom_3.xml"};
  for (int id = 0; id <= 5; ++id) {
    HeapText path(Kyto_Util_GetProfileName(id));
    ASSERT_NE(path.text, nullptr) << id;
    EXPECT_EQ(std::string(path.text), std::string("/etc/config/kytomediasvr/") + files[id]);
  }
  for (int id : {-1, 6, -2147483647 - 1, 2147483647})
    EXPECT_EQ(Kyto_Util_GetProfileName(id), nullptr);
}

TEST_F(ProfileName, LiesBelowTheRootWhenOneIsSet) {
  setenv("KYTO_ROOT", "/stage/", 1);
  HeapText path(Kyto_Util_GetProfileName(4));
  EXPECT_STREQ(path.text, "/stage/etc/config/kytomediasvr/custom_2.xml");
  // A path that doesn't fit the 1024-byte buffer would name another file: none is given.
  setenv("KYTO_ROOT", ("/" + std::string(1000, 'r')).c_str(), 1);
  EXPECT_EQ(Kyto_Util_GetProfileName(0), nullptr);
}

}  // namespace
