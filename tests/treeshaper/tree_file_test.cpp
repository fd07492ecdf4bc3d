#include "tree_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "common/appliance_paths.h"
#include "test_support.h"

namespace kyto::treeshaper {
namespace {

const std::string& treeDir() { return paths::appliancePaths().treeDir; }

TEST(TreePath, RelativeNamesLiveInTheTreeDirectory) {
  EXPECT_EQ(resolveTreePath("custom.xml"), treeDir() + "custom.xml");
  EXPECT_EQ(resolveTreePath("sub/custom.xml"), treeDir() + "sub/custom.xml");
  EXPECT_EQ(resolveTreePath("../custom.xml"), treeDir() + "../custom.xml");
}

TEST(TreePath, AbsoluteNamesAreTheUsersOwnAndStayUnchanged) {
  EXPECT_EQ(resolveTreePath("/tmp/custom.xml"), "/tmp/custom.xml");
}

TEST(TreePath, LongPathsAreCutAt1023Characters) {
  const std::string longName(2000, 'n');
  const std::string path = resolveTreePath(longName);
  EXPECT_EQ(path.size(), 1023u);
  EXPECT_EQ(path, (treeDir() + longName).substr(0, 1023));
  EXPECT_EQ(resolveTreePath("/" + longName), ("/" + longName).substr(0, 1023));
  const std::string fits = "/" + std::string(1022, 'f');
  EXPECT_EQ(resolveTreePath(fits), fits);
}

TEST(TreePath, ExistenceIsTestedAtTheResolvedPath) {
  test::TempDir root;
  test::writeFile(root / "usr/local/corpus/bin/present.xml", "<r/>");
  EXPECT_EQ(treeFileExists(root / "usr/local/corpus/bin/present.xml"), 0);
  EXPECT_EQ(treeFileExists(root / "present.xml"), -1);
}

}  // namespace
}  // namespace kyto::treeshaper
