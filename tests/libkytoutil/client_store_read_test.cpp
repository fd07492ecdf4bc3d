#include <gtest/gtest.h>

#include "client_list_text.h"
#include "kytoutil/kytoutil.h"
#include "staged_root.h"
#include "stored_client_reader.h"
#include "test_support.h"

namespace {

using ClientFilesTest = kyto::test::FreshProcessRoot;
using kyto::test::fileExists;
using kyto::test::listFile;
using kyto::test::processPaths;
using kyto::test::readStoredClients;
using kyto::test::StoredClient;
using kyto::test::writeFile;

using ReadClients = ClientFilesTest;

TEST_F(ReadClients, ConvertsProfileAndDenyAndSkipsBadMacs) {
  writeFile(processPaths().clientsXml,
            listFile({
                R"(<CLIENT MAC="00:11:22:33:44:55" IP="10.0.0.1" DEVICE="tv" USER_PROFILE="3" )"
                R"(USER="bob" CLIENT_TYPE="Sony" DENY="2"/>)",
                R"(<CLIENT MAC="0:1:2:3:4:5" USER_PROFILE="" DENY="letters"/>)",
                R"(<CLIENT MAC="aa:bb:cc:dd:ee" USER_PROFILE="1"/>)",
                R"(<CLIENT MAC="aa:bb:cc:dd:ee:fg"/>)",
                R"(<CLIENT MAC="aa-bb-cc-dd-ee-ff"/>)",
                R"(<CLIENT MAC=""/>)",
                R"(<CLIENT IP="10.0.0.9"/>)",
                R"(<CLIENT MAC="AA:BB:CC:DD:EE:FF" USER_PROFILE="letters" DENY="0"/>)",
                R"(<CLIENT MAC="01:00:00:00:00:00" USER_PROFILE="6" DENY="-1"/>)",
                R"(<CLIENT MAC="02:00:00:00:00:00" USER_PROFILE="-1" DENY=""/>)",
                R"(<CLIENT MAC="03:00:00:00:00:00" USER_PROFILE="5"/>)",
                R"(<OTHER MAC="04:00:00:00:00:00"/>)",
            }));
  kyto::test::ReadResult result = readStoredClients();
  EXPECT_EQ(result.status, 0);
  const std::vector<StoredClient> expected = {
      {"00:11:22:33:44:55", "10.0.0.1", "tv", 3, "bob", "Sony", 1},
      {"00:01:02:03:04:05", {}, {}, 0, {}, {}, 0},
      {"aa:bb:cc:dd:ee:ff", {}, {}, 0, {}, {}, 0},
      {"01:00:00:00:00:00", {}, {}, -1, {}, {}, 1},
      {"02:00:00:00:00:00", {}, {}, -1, {}, {}, 0},
      {"03:00:00:00:00:00", {}, {}, 5, {}, {}, 0},
  };
  EXPECT_EQ(result.clients, expected);
}

TEST_F(ReadClients, ACallbackStopsTheWalkAndTheResultIsStillZero) {
  writeFile(processPaths().clientsXml,
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)", R"(<CLIENT MAC="0:0:0:0:0:2"/>)"}));
  kyto::test::ReadResult result = readStoredClients(1);
  EXPECT_EQ(result.status, 0);
  ASSERT_EQ(result.clients.size(), 1u);
  EXPECT_EQ(result.clients[0].mac, "00:00:00:00:00:01");
}

struct UnreadableCase {
  const char* name;
  const char* content;  // nullptr: no file
};
void PrintTo(const UnreadableCase& c, std::ostream* os) {
  *os << c.name;
}

class ReadUnreadable : public ClientFilesTest,
                       public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(ReadUnreadable, GivesOneAndNoCallback) {
  if (GetParam().content != nullptr) writeFile(processPaths().clientsXml, GetParam().content);
  kyto::test::ReadResult result = readStoredClients();
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.clients.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadUnreadable,
    ::testing::Values(UnreadableCase{"missing", nullptr},
                      UnreadableCase{"malformed", "<UPNP_CLIENTS><CLIENT"},
                      UnreadableCase{"noList", "<OTHER><CLIENT MAC=\"0:0:0:0:0:1\"/></OTHER>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadClients, ANullCallbackGivesOneAndTouchesNothing) {
  writeFile(processPaths().clientsXml, listFile({}));
  EXPECT_EQ(Kyto_Util_ReadClientSettings(nullptr, nullptr), 1);
  EXPECT_FALSE(fileExists(processPaths().clientsLock));
}

}  // namespace
