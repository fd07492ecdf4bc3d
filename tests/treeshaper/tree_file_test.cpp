#include "tree_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "test_support.h"

namespace kyto::treeshaper {
namespace {

class TreePath : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("KYTO_ROOT"); }
};

TEST_F(TreePath, RelativeNamesLiveInTheTreeDirectory) {
  unsetenv("KYTO_ROOT");
  EXPECT_EQ(resolveTreePath("custom.xml"), "/usr/local/corpus/bin/custom.xml");
  EXPECT_EQ(resolveTreePath("sub/custom.xml"), "/usr/local/corpus/bin/sub/custom.xml");
  EXPECT_EQ(resolveTreePath("../custom.xml"), "/usr/local/corpus/bin/../custom.xml");
  setenv("KYTO_ROOT", "/stage", 1);
  EXPECT_EQ(resolveTreePath("custom.xml"), "/stage/usr/local/corpus/bin/custom.xml");
}

TEST_F(TreePath, AbsoluteNamesAreTheUsersOwnAndStayUnchanged) {
  unsetenv("KYTO_ROOT");
  EXPECT_EQ(resolveTreePath("/tmp/custom.xml"), "/tmp/custom.xml");
  setenv("KYTO_ROOT", "/stage", 1);
  EXPECT_EQ(resolveTreePath("/tmp/custom.xml"), "/tmp/custom.xml");
}

TEST_F(TreePath, LongPathsAreCutAt1023Characters) {
  unsetenv("KYTO_ROOT");
  const std::string longName(2000, 'n');
  const std::string path = resolveTreePath(longName);
  EXPECT_EQ(path.size(), 1023u);
  EXPECT_EQ(path, ("/usr/local/corpus/bin/" + longName).substr(0, 1023));
  EXPECT_EQ(resolveTreePath("/" + longName), ("/" + longName).substr(0, 1023));
  const std::string fits = "/" + std::string(1022, 'f');
  EXPECT_EQ(resolveTreePath(fits), fits);
}

TEST_F(TreePath, ExistenceIsTestedAtTheResolvedPath) {
  test::TempDir root;
  test::writeFile(root / "usr/local/corpus/bin/present.xml", "<r/>");
  setenv("KYTO_ROOT", root.path().c_str(), 1);
  EXPECT_EQ(treeFileExists("present.xml"), 0);
  EXPECT_EQ(treeFileExists("absent.xml"), -1);
  EXPECT_EQ(treeFileExists(root / "usr/local/corpus/bin/present.xml"), 0);
  EXPECT_EQ(treeFileExists(root / "present.xml"), -1);
}

}  // namespace
}  // namespace kyto::treeshaper
