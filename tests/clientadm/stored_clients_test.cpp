#include "stored_clients.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "client_type_registry.h"

namespace kyto::clientadm {
namespace {

using Text = std::optional<std::string>;

struct SinkCall {
  Text mac, ip, deviceName, clientType;
  int profileId;
  Text user;
  int comeFrom, deny;
  bool typeRegisteredAtCall;
  bool operator==(const SinkCall&) const = default;
};

std::vector<SinkCall> calls;
int sinkResult = 0;

Text textOf(const char* t) {
  return t != nullptr ? Text(t) : std::nullopt;
}

int recordingSink(const char* mac, const char* ip, const char* deviceName, const char* clientType,
                  int profileId, const char* user, int comeFrom, int deny) {
  calls.push_back({textOf(mac), textOf(ip), textOf(deviceName), textOf(clientType), profileId,
                   textOf(user), comeFrom, deny,
                   clientType != nullptr && findClientType(clientType) != nullptr});
  return sinkResult;
}

class OnStoredClient : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    sinkResult = 0;
  }
  int report(const unsigned char* mac, int profileId, const char* clientType = nullptr) {
    ClientSink sink = recordingSink;
    return onStoredClient(&sink, mac, "10.1.2.3", "Stored device", profileId, "anna", clientType,
                          1);
  }
};

const unsigned char kMac[6] = {0x00, 0x0a, 0x1b, 0xc2, 0xd3, 0xff};

TEST_F(OnStoredClient, FormatsMacAndDropsDevice) {
  EXPECT_EQ(report(kMac, 3, "TvA"), 0);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (SinkCall{"00:0a:1b:c2:d3:ff", "10.1.2.3", std::nullopt, "TvA", 3, "anna",
                                FromUserSettings, 1, false}));
}

TEST_F(OnStoredClient, AbsentTextsStayAbsent) {
  ClientSink sink = recordingSink;
  EXPECT_EQ(onStoredClient(&sink, kMac, nullptr, nullptr, -1, nullptr, nullptr, 0), 0);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (SinkCall{"00:0a:1b:c2:d3:ff", std::nullopt, std::nullopt, std::nullopt, -1,
                                std::nullopt, FromUserSettings, 0, false}));
}

TEST_F(OnStoredClient, ProfileZeroToSixPassesOthersAreNone) {
  const std::vector<std::pair<int, int>> profiles = {
      {0, 0}, {5, 5}, {6, 6}, {7, -1}, {-1, -1}, {-2, -1}, {INT_MAX, -1}, {INT_MIN, -1}};
  for (const auto& [given, passed] : profiles) {
    calls.clear();
    report(kMac, given);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].profileId, passed) << "profile " << given;
  }
}

TEST_F(OnStoredClient, RegistersCustomTypeBeforeMerge) {
  const std::size_t before = clientTypeRegistry().size();
  report(kMac, 1, "CUSTa1b2c3d4e5f6");
  report(kMac, 1, "CUSTa1b2c3d4e5f6");
  report(kMac, 1, "CUST0123");
  report(kMac, 1, "NotInRegistry");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_TRUE(calls[0].typeRegisteredAtCall);
  EXPECT_FALSE(calls[2].typeRegisteredAtCall);
  EXPECT_FALSE(calls[3].typeRegisteredAtCall);
  EXPECT_EQ(calls[2].clientType, "CUST0123");  // handed on unchanged all the same
  EXPECT_EQ(clientTypeRegistry().size(), before + 1);
  EXPECT_STREQ(clientTypeNameAt(static_cast<int>(before)), "CUSTa1b2c3d4e5f6");
}

TEST_F(OnStoredClient, ReturnsSinkResult) {
  sinkResult = 1;
  EXPECT_EQ(report(kMac, 0), 1);
}

TEST_F(OnStoredClient, NoSinkStopsWalk) {
  EXPECT_EQ(onStoredClient(nullptr, kMac, nullptr, nullptr, 0, nullptr, nullptr, 0), 1);
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace kyto::clientadm
