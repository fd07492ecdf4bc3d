#include "tree_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "common/appliance_paths.h"
#include "test_support.h"

namespace kyto::treeshaper {
namespace {

const std::string& treeDir() {
  return paths::appliancePaths().treeDir;
}

TEST(TreePath, RelativeNamesLiveInTheTreeDirectory) {
  EXPECT_EQ(resolveTreePath("custom.xml"), treeDir() + "custom.xml");
  EXPECT_EQ(resolveTreePath("sub/custom.xml"), treeDir() + "sub/custom.xml");
  EXPECT_EQ(resolveTreePath("../custom.xml"), treeDir() + "../custom.xml");
}

TEST(TreePath, AbsoluteNamesAreTheUsersOwnAndStayUnchanged) {
  EXPECT_EQ(resolveTreePath("/tmp/custom.xml"), "/tmp/custom.xml");
}

// A path is never cut: what is left of it could name another file.
TEST(TreePath, PathsOver1023BytesAreRefused) {
  const std::string fits = "/" + std::string(1022, 'f');
  EXPECT_EQ(resolveTreePath(fits), fits);
  EXPECT_EQ(resolveTreePath(fits + "f"), std::nullopt);
  const std::string relativeFits(1023 - treeDir().size(), 'n');
  EXPECT_EQ(resolveTreePath(relativeFits), treeDir() + relativeFits);
  EXPECT_EQ(resolveTreePath(relativeFits + "n"), std::nullopt);
  EXPECT_EQ(resolveTreePath(std::string(2000, 'n')), std::nullopt);
}

}  // namespace
}  // namespace kyto::treeshaper
