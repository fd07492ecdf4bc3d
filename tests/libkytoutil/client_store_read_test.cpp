#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
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

// The list's and the catalogue's paths are resolved at a process's first call: threads of a
// caller that all make that first call at once each read the whole list (and, under the
// sanitizers, leak no copy of a path).
TEST_F(ReadClients, ThreadsMakingTheFirstCallAtOnceAllReadTheList) {
  writeFile(processPaths().clientsXml, listFile({R"(<CLIENT MAC="00:11:22:33:44:55"/>)"}));
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::atomic<int> waiting{8}, read{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
      threads.emplace_back([&] {
        for (--waiting; waiting > 0;) {
        }
        const auto count = [](void* n, const unsigned char*, const char*, const char*, int,
                              const char*, const char*, int) {
          ++*static_cast<std::atomic<int>*>(n);
          return 0;
        };
        const auto type = [](void*, const char*, const char*, unsigned, unsigned, const char*, int,
                             int, long, const char*) { return 0; };
        Kyto_Util_ReadClientTypeSettings(type, nullptr);
        Kyto_Util_ReadClientSettings(count, &read);
      });
    for (std::thread& thread : threads) thread.join();
    std::exit(read == 8 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
