#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

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
using kyto::test::readFile;
using kyto::test::readStoredClients;
using kyto::test::writeFile;

using AddClient = ClientFilesTest;
using DelClient = ClientFilesTest;
using MacIdentity = ClientFilesTest;

TEST_F(AddClient, CreatesTheListAndTheLockFile) {
  EXPECT_EQ(Kyto_Util_AddClientToXMLFile("00:11:22:33:44:55", nullptr, 3, nullptr,
                                         "CUST0123456789ab", -1),
            0);
  EXPECT_EQ(readFile(processPaths().clientsXml),
            listFile({R"(<CLIENT MAC="00:11:22:33:44:55" USER_PROFILE="3" )"
                      R"(CLIENT_TYPE="CUST0123456789ab"/>)"}));
  EXPECT_TRUE(fileExists(processPaths().clientsLock));
}

TEST_F(AddClient, WritesAttributesInTheirFixedOrderAndOnlyWhenGiven) {
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:1", "10.0.0.2", 7, "alice", "Sony", 0), 0);
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:2", "", -1, "", "", -1), 0);
  ASSERT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:3", nullptr, 0, nullptr, nullptr, 1), 0);
  EXPECT_EQ(readFile(processPaths().clientsXml),
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1" IP="10.0.0.2" DENY="0" USER_PROFILE="7" )"
                      R"(USER="alice" CLIENT_TYPE="Sony"/>)",
                      R"(<CLIENT MAC="0:0:0:0:0:2"/>)",
                      R"(<CLIENT MAC="0:0:0:0:0:3" DENY="1" USER_PROFILE="0"/>)"}));
  // A profile beyond 5 is stored as given and read back as none.
  EXPECT_EQ(readStoredClients().clients.at(0).profileId, -1);
}

// A client is its address: texts that are valid MACs are compared by their 6 bytes, any other
// text only with the same text. Add and Del remove every entry of the address; the others keep
// their text and order.
TEST_F(MacIdentity, AddAndDelRemoveEveryEntryOfTheAddressAndNoOther) {
  const std::vector<std::string> stored = {
      R"(<CLIENT MAC="aa:00:00:00:00:01" DEVICE="tv" USER="old"/>)",
      R"(<CLIENT MAC="aa:00:00:00:00:02"/>)",
      R"(<CLIENT USER="no mac"/>)",
      R"(<CLIENT MAC="aa-00-00-00-00-01"/>)",
      R"(<CLIENT MAC="AA:0:0:0:0:1" USER="dup"/>)",
      R"(<CLIENT MAC="not a mac"/>)",
      R"(<CLIENT MAC="NOT A MAC"/>)",
  };
  const struct {
    bool add;  // else del
    const char* mac;
    std::set<size_t> removed;  // indexes into stored
  } cases[] = {
      {true, "aa:00:00:00:00:01", {0, 4}},
      {true, "Aa:00:00:00:00:001", {0, 4}},
      {true, "not a mac", {5}},
      {true, "aa:00:00:00:00:03", {}},
      {false, "AA:00:00:00:00:01", {0, 4}},
      {false, "not a mac", {5}},
      {false, "aa-00-00-00-00-01", {3}},
      {false, "aa:00:00:00:00:03", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.add ? "add " : "del ") + c.mac);
    std::string before = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTS>\n";
    std::string after = before;
    for (size_t i = 0; i < stored.size(); ++i) {
      before += "  " + stored[i] + "\n";
      if (c.removed.count(i) == 0) after += "  " + stored[i] + "\n";
    }
    if (c.add) after += std::string("  <CLIENT MAC=\"") + c.mac + "\" USER_PROFILE=\"1\"/>\n";
    before += "</UPNP_CLIENTS>\n";
    after += "</UPNP_CLIENTS>\n";
    writeFile(processPaths().clientsXml, before);
    const int status = c.add ? Kyto_Util_AddClientToXMLFile(c.mac, nullptr, 1, nullptr, nullptr, -1)
                             : Kyto_Util_DelClientFromXMLFile(c.mac);
    const bool changed = c.add || !c.removed.empty();
    EXPECT_EQ(status, changed ? 0 : 1);
    EXPECT_EQ(readFile(processPaths().clientsXml), changed ? after : before);
  }
}

TEST_F(DelClient, OfTheLastEntryLeavesAnEmptyList) {
  writeFile(processPaths().clientsXml, listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)"}));
  EXPECT_EQ(Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:1"), 0);
  EXPECT_EQ(readFile(processPaths().clientsXml), listFile({}));
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
      {"<UPNP_CLIENTS/>", "0:0:0:0:0:1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content != nullptr ? c.content : "(no file)");
    SetUp();
    if (c.content != nullptr) writeFile(processPaths().clientsXml, c.content);
    EXPECT_EQ(Kyto_Util_DelClientFromXMLFile(c.mac), 1);
    if (c.content != nullptr) {
      EXPECT_EQ(readFile(processPaths().clientsXml), c.content);
    } else {
      EXPECT_FALSE(fileExists(processPaths().clientsXml));
    }
  }
}

}  // namespace
