#include "appliance_paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

struct RootCase {
  const char* root;  // nullptr: KYTO_ROOT unset
  const char* expected;
};

void PrintTo(const RootCase& c, std::ostream* os) {
  *os << "KYTO_ROOT=" << (c.root != nullptr ? c.root : "(unset)");
}

class RootedPath : public ::testing::TestWithParam<RootCase> {};

TEST_P(RootedPath, PrefixesApplianceTreeOnlyWhenRootIsSet) {
  const RootCase& c = GetParam();
  if (c.root != nullptr) {
    setenv("KYTO_ROOT", c.root, 1);
  } else {
    unsetenv("KYTO_ROOT");
  }
  EXPECT_EQ(kyto::paths::rooted(kyto::paths::kClientsXml), c.expected);
  unsetenv("KYTO_ROOT");
}

INSTANTIATE_TEST_SUITE_P(
    Roots, RootedPath,
    ::testing::Values(RootCase{nullptr, "/etc/config/kytomediasvr/clients.xml"},
                      RootCase{"", "/etc/config/kytomediasvr/clients.xml"},
                      RootCase{"/", "/etc/config/kytomediasvr/clients.xml"},
                      RootCase{"/tmp/stage", "/tmp/stage/etc/config/kytomediasvr/clients.xml"},
                      RootCase{"/tmp/stage//", "/tmp/stage/etc/config/kytomediasvr/clients.xml"}));

}  // namespace
