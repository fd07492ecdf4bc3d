#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "list/list_pipeline.h"
#include "list/stored_clients.h"
#include "list_run.h"

namespace kyto::clientadm {
namespace {

const unsigned char kMac[6] = {0x00, 0x0a, 0x1b, 0xc2, 0xd3, 0xff};

// The stored list's walk of one test: a client cache reader would see the same registry.
class OnStoredClient : public ::testing::Test {
 protected:
  int report(const unsigned char* mac, int profileId, const char* clientType = nullptr,
             int deny = 1) {
    return onStoredClient(&walk_, mac, "10.1.2.3", "Stored device", profileId, "anna", clientType,
                          deny);
  }
  std::vector<std::string> registered() const {
    std::vector<std::string> names;
    for (const auto* entry = run_.registry.head(); entry != nullptr; entry = entry->next)
      names.push_back(entry->shortName + ":" + entry->fullName.value_or("-"));
    return names;
  }

  test::ListRun run_{7};  // the stored list's deny flags are its own, not deny_anonymous
  StoredClientWalk walk_{run_.context, run_.registry};
};

TEST_F(OnStoredClient, FormatsMacKeepsStoredFieldsAndDropsDevice) {
  EXPECT_EQ(report(kMac, 3, "TvA"), 0);
  EXPECT_EQ(run_.listing(), "1|00:0a:1b:c2:d3:ff|10.1.2.3||TvA|3|anna|0\n");
}

TEST_F(OnStoredClient, AbsentTextsListEmpty) {
  EXPECT_EQ(onStoredClient(&walk_, kMac, nullptr, nullptr, -1, nullptr, nullptr, 0), 0);
  EXPECT_EQ(run_.listing(), "0|00:0a:1b:c2:d3:ff||||-1||0\n");
}

TEST_F(OnStoredClient, AppendsEachCustomTypeOnceToTheWalksRegistry) {
  const unsigned char other[6] = {2, 0, 0, 0, 0, 1};
  report(kMac, 1, "CUSTa1b2c3d4e5f6");
  report(other, 1, "CUSTa1b2c3d4e5f6");
  report(kMac, 1, "CUST0123");
  report(kMac, 1, "NotInRegistry");
  EXPECT_EQ(registered(), std::vector<std::string>{"CUSTa1b2c3d4e5f6:CUSTa1b2c3d4e5f6"});
  EXPECT_EQ(run_.listing(),
            "1|00:0a:1b:c2:d3:ff|10.1.2.3||CUSTa1b2c3d4e5f6|1|anna|0\n"
            "1|02:00:00:00:00:01|10.1.2.3||CUSTa1b2c3d4e5f6|1|anna|0\n");
}

TEST_F(OnStoredClient, NoWalkStopsIt) {
  EXPECT_EQ(onStoredClient(nullptr, kMac, nullptr, nullptr, 0, nullptr, nullptr, 0), 1);
  EXPECT_EQ(run_.listing(), "");
}

}  // namespace
}  // namespace kyto::clientadm
