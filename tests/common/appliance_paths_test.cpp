#include "common/appliance_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(AppliancePaths, PrefixEveryPathWithTheRootOnce) {
  const struct {
    const char* root;
    const char* clientsXml;
  } cases[] = {
      {"", "/etc/config/kytomediasvr/clients.xml"},
      {"/", "/etc/config/kytomediasvr/clients.xml"},
      {"/tmp/stage", "/tmp/stage/etc/config/kytomediasvr/clients.xml"},
      {"/tmp/stage//", "/tmp/stage/etc/config/kytomediasvr/clients.xml"},
  };
  for (const auto& c : cases) {
    const kyto::paths::AppliancePaths paths = kyto::paths::pathsUnder(c.root);
    EXPECT_EQ(paths.clientsXml, c.clientsXml) << c.root;
    // Every path of one reading shares the root: the lock beside the list, the rest alike.
    const std::string root = paths.clientsXml.substr(0, paths.clientsXml.find("/etc/"));
    EXPECT_EQ(paths.clientsLock, root + kyto::paths::kClientsLock);
    EXPECT_EQ(paths.treeDir, root + kyto::paths::kTreeDir);
    EXPECT_EQ(paths.halyardFallback, root + kyto::paths::kHalyardFallback);
  }
}

}  // namespace
