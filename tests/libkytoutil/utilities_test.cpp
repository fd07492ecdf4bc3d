#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

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

// The library reads KYTO_ROOT once per process, so each root is tried in a process of its own:
// the child prints the profile paths for ids -1 to 6 and exits.
void printProfilePathsUnder(const char* root) {
  if (root == nullptr) {
    unsetenv("KYTO_ROOT");
  } else {
    setenv("KYTO_ROOT", root, 1);
  }
  for (int id = -1; id <= 6; ++id) {
    HeapText path(Kyto_Util_GetProfileName(id));
    fprintf(stderr, "[%s]", path.text != nullptr ? path.text : "none");
  }
  exit(0);
}

// The bracketed paths the child prints, as a regular expression of the whole output.
std::string expectedPaths(const std::vector<std::string>& paths) {
  std::string text = "^";
  for (const std::string& path : paths) text += "\\[" + path + "\\]";
  return text + "$";
}

TEST(ProfileNameDeathTest, MapsIdsToTheirFilesBelowTheRoot) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto files = [](const std::string& dir) {
    std::vector<std::string> paths = {"none"};
    for (const char* file : {"standard_1.xml", "standard_2.xml", "standard_3.xml", "custom_1.xml",
                             "custom_2.xml", "custom_3.xml"})
      paths.push_back(dir + file);
    paths.push_back("none");
    return expectedPaths(paths);
  };
  EXPECT_EXIT(printProfilePathsUnder(nullptr), ::testing::ExitedWithCode(0),
              files("/etc/config/kytomediasvr/"));
  EXPECT_EXIT(printProfilePathsUnder("/stage/"), ::testing::ExitedWithCode(0),
              files("/stage/etc/config/kytomediasvr/"));
  // A path that doesn't fit the 1024-byte buffer would name another file: none is given.
  const std::string longRoot = "/" + std::string(1000, 'r');
  EXPECT_EXIT(printProfilePathsUnder(longRoot.c_str()), ::testing::ExitedWithCode(0),
              expectedPaths(std::vector<std::string>(8, "none")));
}

}  // namespace
