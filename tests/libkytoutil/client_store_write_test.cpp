#include <gtest/gtest.h>

#include "client_files.h"
#include "kytoutil/kytoutil.h"
#include "test_support.h"

namespace {

using kyto::test::ClientFilesTest;
using kyto::test::clientsLock;
using kyto::test::clientsXml;
using kyto::test::fileExists;
using kyto::test::listFile;
using kyto::test::readFile;
using kyto::test::readStoredClients;
using kyto::test::writeFile;

using AddClient = ClientFilesTest;
using DelClient = ClientFilesTest;

TEST_F(AddClient, CreatesTheListAndTheLockFile) {
  EXPECT_EQ(Kyto_Util_AddClientToXMLFile("00:11:22:33:44:55", nullptr, 3, nullptr,
                                         "CUST0123456789ab", -1),
            0);
  EXPECT_EQ(readFile(clientsXml()), listFile({R"(<CLIENT MAC="00:11:22:33:44:55" USER_PROFILE="3" )"
                                              R"(CLIENT_TYPE="CUST0123456789ab"/>)"}));
  EXPECT_TRUE(fileExists(clientsLock()));
}

TEST_F(AddClient, WritesAttributesInTheirFixedOrderAndOnlyWhenGiven) {
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:1", "10.0.0.2", 7, "alice", "Sony", 0), 0);
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:2", "", -1, "", "", -1), 0);
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:3", nullptr, 0, nullptr, nullptr, 1), 0);
  EXPECT_EQ(readFile(clientsXml()),
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1" IP="10.0.0.2" DENY="0" USER_PROFILE="7" )"
                      R"(USER="alice" CLIENT_TYPE="Sony"/>)",
                      R"(<CLIENT MAC="0:0:0:0:0:2"/>)",
                      R"(<CLIENT MAC="0:0:0:0:0:3" DENY="1" USER_PROFILE="0"/>)"}));
  // A profile beyond 5 is stored as given and read back as none.
  EXPECT_EQ(readStoredClients().clients.at(0).profileId, -1);
}

TEST_F(AddClient, ReplacesOnlyTheFirstEntryOfTheSameMacTextAtTheEnd) {
  writeFile(clientsXml(),
            listFile({R"(<CLIENT MAC="aa:00:00:00:00:01" DEVICE="tv" USER="old"/>)",
                      R"(<CLIENT MAC="aa:00:00:00:00:02"/>)", R"(<CLIENT USER="no mac"/>)",
                      R"(<CLIENT MAC="aa:00:00:00:00:01" USER="dup"/>)",
                      R"(<CLIENT MAC="AA:00:00:00:00:02"/>)"}));
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("aa:00:00:00:00:01", nullptr, 1, nullptr, nullptr, -1), 0);
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("Aa:00:00:00:00:02", nullptr, -1, nullptr, nullptr, -1),
            0);
  EXPECT_EQ(readFile(clientsXml()),
            listFile({R"(<CLIENT MAC="aa:00:00:00:00:02"/>)", R"(<CLIENT USER="no mac"/>)",
                      R"(<CLIENT MAC="aa:00:00:00:00:01" USER="dup"/>)",
                      R"(<CLIENT MAC="AA:00:00:00:00:02"/>)",
                      R"(<CLIENT MAC="aa:00:00:00:00:01" USER_PROFILE="1"/>)",
                      R"(<CLIENT MAC="Aa:00:00:00:00:02"/>)"}));
}

TEST_F(DelClient, RemovesTheFirstEntryOfThatMacText) {
  writeFile(clientsXml(), listFile({R"(<CLIENT MAC="0:0:0:0:0:1" USER="first"/>)",
                                    R"(<CLIENT MAC="0:0:0:0:0:2"/>)",
                                    R"(<CLIENT MAC="0:0:0:0:0:1" USER="second"/>)"}));
  EXPECT_EQ(Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:1"), 0);
  EXPECT_EQ(readFile(clientsXml()), listFile({R"(<CLIENT MAC="0:0:0:0:0:2"/>)",
                                              R"(<CLIENT MAC="0:0:0:0:0:1" USER="second"/>)"}));
}

TEST_F(DelClient, OfTheLastEntryLeavesAnEmptyList) {
  writeFile(clientsXml(), listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)"}));
  EXPECT_EQ(Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:1"), 0);
  EXPECT_EQ(readFile(clientsXml()), listFile({}));
}

TEST_F(DelClient, FailsWithoutTouchingTheFile) {
  const struct {
    const char* content;  // nullptr: no file
    const char* mac;
  } cases[] = {
      {nullptr, "0:0:0:0:0:1"},
      {"<UPNP_CLIENTS><CLIENT MAC=\"0:0:0:0:0:1\"", "0:0:0:0:0:1"},
      {"<OTHER><CLIENT MAC=\"0:0:0:0:0:1\"/></OTHER>", "0:0:0:0:0:1"},
      {"<UPNP_CLIENTS>\n<CLIENT MAC=\"0:0:0:0:0:1\"/></UPNP_CLIENTS>", "0:0:0:0:0:2"},
      {"<UPNP_CLIENTS>\n<CLIENT MAC=\"0:0:0:0:0:1\"/></UPNP_CLIENTS>", "00:00:00:00:00:01"},
      {"<UPNP_CLIENTS/>", "0:0:0:0:0:1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content != nullptr ? c.content : "(no file)");
    SetUp();
    if (c.content != nullptr) writeFile(clientsXml(), c.content);
    EXPECT_EQ(Kyto_Util_DelClientFromXMLFile(c.mac), 1);
    if (c.content != nullptr) {
      EXPECT_EQ(readFile(clientsXml()), c.content);
    } else {
      EXPECT_FALSE(fileExists(clientsXml()));
    }
  }
}

}  // namespace
