// The three mends over the historical behaviour: a corrupt list is kept, rewrites are atomic,
// and text that XML can't carry is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdio>

#include <string>
#include <vector>

#include "client_list_text.h"
#include "kytoutil/kytoutil.h"
#include "process_limits.h"
#include "staged_root.h"
#include "stored_client_reader.h"
#include "test_support.h"

namespace {

using ClientFilesTest = kyto::test::FreshProcessRoot;
using kyto::test::listDir;
using kyto::test::listFile;
using kyto::test::processPaths;
using kyto::test::readFile;
using kyto::test::readStoredClients;
using kyto::test::writeFile;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

const std::string kNewEntryList = listFile({R"(<CLIENT MAC="0:0:0:0:0:9"/>)"});

int addNewEntry() {
  return Kyto_Util_AddClientToXMLFile("0:0:0:0:0:9", nullptr, -1, nullptr, nullptr, -1);
}

std::vector<std::string> backupNames() {
  std::vector<std::string> names;
  for (const std::string& name : listDir(processPaths().configDir)) {
    if (name.rfind("clients.xml.corrupt-", 0) == 0) names.push_back(name);
  }
  return names;
}

using CorruptList = ClientFilesTest;

TEST_F(CorruptList, IsKeptByteForByteBeforeANewListIsWritten) {
  for (const char* corrupt : {"<UPNP_CLIENTS><CLIENT MAC=\"0:0:0:0:0:1\"", "<OTHER>\x01</OTHER>",
                              "<OTHER><UPNP_CLIENTS/></OTHER>"}) {
    SCOPED_TRACE(corrupt);
    SetUp();
    writeFile(processPaths().clientsXml, corrupt);
    EXPECT_EQ(addNewEntry(), 0);
    EXPECT_EQ(readFile(processPaths().clientsXml), kNewEntryList);
    const std::vector<std::string> backups = backupNames();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(readFile(processPaths().configDir + "" + backups[0]), corrupt);
  }
}

TEST_F(CorruptList, NeverOverwritesAnEarlierBackup) {
  // Occupy the names of this and the next few seconds, so that the new backup must step aside.
  std::vector<std::string> taken;
  for (time_t t = time(nullptr); taken.size() < 5; ++t) {
    struct tm utc;
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", gmtime_r(&t, &utc));
    taken.push_back(std::string("clients.xml.corrupt-") + stamp);
    writeFile(processPaths().configDir + "" + taken.back(), "earlier");
  }
  writeFile(processPaths().clientsXml, "broken");
  EXPECT_EQ(addNewEntry(), 0);
  std::vector<std::string> backups = backupNames();
  ASSERT_EQ(backups.size(), taken.size() + 1);
  for (const std::string& name : backups) {
    bool earlier = std::find(taken.begin(), taken.end(), name) != taken.end();
    EXPECT_EQ(readFile(processPaths().configDir + "" + name), earlier ? "earlier" : "broken")
        << name;
  }
}

TEST_F(CorruptList, AMissingListNeedsNoBackup) {
  EXPECT_EQ(addNewEntry(), 0);
  // The history of the new list holds no version: there was no list to keep.
  EXPECT_EQ(listDir(processPaths().configDir),
            (std::vector<std::string>{"clients.history", "clients.lock", "clients.xml"}));
  EXPECT_EQ(listDir(processPaths().configDir + "clients.history"),
            std::vector<std::string>{"index"});
}

TEST_F(CorruptList, WithoutABackupNothingIsWritten) {
  // A directory in the list's place can't be copied, whatever the privileges.
  kyto::test::makeDirs(processPaths().clientsXml + "/inner");
  EXPECT_EQ(addNewEntry(), 1);
  EXPECT_EQ(listDir(processPaths().configDir),
            (std::vector<std::string>{"clients.lock", "clients.xml"}));
  EXPECT_EQ(listDir(processPaths().clientsXml), std::vector<std::string>{"inner"});
}

TEST_F(CorruptList, ItsBackupGoesWhenTheNewListCanNotBeWritten) {
  // The backup of these few bytes fits the file size limit; the new list doesn't.
  writeFile(processPaths().clientsXml, "broken");
  EXPECT_EQ(kyto::test::runWithTinyFileSizeLimit(addNewEntry), 1);
  EXPECT_EQ(readFile(processPaths().clientsXml), "broken");
  EXPECT_EQ(listDir(processPaths().configDir),
            (std::vector<std::string>{"clients.lock", "clients.xml"}));
}

// Running out of memory says nothing of the list: Add leaves it alone. A list that is not
// well-formed is still replaced under the same limit.
TEST_F(CorruptList, IsNotWhatALackOfMemoryMakesOfASoundList) {
  if (kAddressSanitizer)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any useful limit";
  std::string large = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTS>\n";
  for (int i = 0; i < 100000; ++i) {
    char line[80];
    snprintf(line, sizeof line, "  <CLIENT MAC=\"02:00:00:%02x:%02x:%02x\" USER=\"user %d\"/>\n",
             i >> 16, (i >> 8) & 0xFF, i & 0xFF, i);
    large += line;
  }
  large += "</UPNP_CLIENTS>\n";
  const struct {
    const char* name;
    std::string content;
    int status;
  } cases[] = {{"100,000 clients", large, 1}, {"cut", "<UPNP_CLIENTS><CLIENT MAC=\"0:0:", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    writeFile(processPaths().clientsXml, c.content);
    // Parsing the large list takes some 60 MB.
    EXPECT_EQ(kyto::test::runWithMemoryHeadroom(addNewEntry, 8 << 20), c.status);
    EXPECT_EQ(readFile(processPaths().clientsXml), c.status == 0 ? kNewEntryList : c.content);
    EXPECT_EQ(backupNames().size(), c.status == 0 ? 1u : 0u);
  }
}

// A FIFO would block the reader for ever while it holds the lock, and a device never ends (a
// copy of /dev/zero fills the disk): only a regular file is read, backed up or replaced.
TEST_F(CorruptList, ThatIsNoRegularFileIsNeitherReadNorKeptNorReplaced) {
  const struct {
    const char* name;
    int (*make)(const char* path);
  } kinds[] = {
      {"FIFO", [](const char* path) { return mkfifo(path, 0644); }},
      {"link to /dev/null", [](const char* path) { return symlink("/dev/null", path); }},
      {"link to /dev/zero", [](const char* path) { return symlink("/dev/zero", path); }},
  };
  int (*const listOperations[])() = {
      [] { return readStoredClients().status; },
      addNewEntry,
      [] { return Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:9"); },
  };
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    SetUp();
    writeFile(kyto::test::processPaths().clientsLock, "");
    ASSERT_EQ(kind.make(processPaths().clientsXml.c_str()), 0);
    ASSERT_EQ(kind.make(kyto::test::processPaths().clientTypesXml.c_str()), 0);
    const std::vector<std::string> before = listDir(processPaths().configDir);
    for (auto operation : listOperations) {
      EXPECT_EQ(kyto::test::runWithTinyFileSizeLimit(operation), 1);
    }
    EXPECT_EQ(kyto::test::runWithTinyFileSizeLimit([] {
                return Kyto_Util_ReadClientTypeSettings(
                    [](void*, const char*, const char*, unsigned, unsigned, const char*, int, int,
                       long, const char*) { return 0; },
                    nullptr);
              }),
              1);
    EXPECT_EQ(listDir(processPaths().configDir), before);
  }
}

using AtomicRewrite = ClientFilesTest;

TEST_F(AtomicRewrite, AFailedWriteKeepsTheOldListAndLeavesNoTemporary) {
  const std::string old = listFile({R"(<CLIENT MAC="0:0:0:0:0:1" USER="some user name"/>)",
                                    R"(<CLIENT MAC="0:0:0:0:0:2" USER="another user name"/>)"});
  for (auto write : {+[] { return addNewEntry(); },
                     +[] { return Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:1"); }}) {
    SetUp();
    writeFile(processPaths().clientsXml, old);
    EXPECT_EQ(kyto::test::runWithTinyFileSizeLimit(write), 1);
    EXPECT_EQ(readFile(processPaths().clientsXml), old);
    EXPECT_EQ(listDir(processPaths().configDir),
              (std::vector<std::string>{"clients.lock", "clients.xml"}));
  }
}

TEST_F(AtomicRewrite, KeepsTheListsModeAndCreatesItWith0644) {
  const mode_t oldMask = umask(077);
  EXPECT_EQ(addNewEntry(), 0);
  umask(oldMask);
  struct stat st {};
  ASSERT_EQ(stat(processPaths().clientsXml.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(chmod(processPaths().clientsXml.c_str(), 0600), 0);
  EXPECT_EQ(Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:9"), 0);
  ASSERT_EQ(stat(processPaths().clientsXml.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

using StorableText = ClientFilesTest;

TEST_F(StorableText, AddRefusesTextXmlCannotCarryAndWritesNothing) {
  const char* const badTexts[] = {
      "a\x01",        "\x1b[0m",          "bad \xC3\x28 utf8",
      "\xC0\xAF",     "\xE6\x97",         "\xED\xA0\x80",
      "\xEF\xBF\xBE", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",
  };
  const std::string old = listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)"});
  writeFile(processPaths().clientsXml, old);
  for (const char* bad : badTexts) {
    SCOPED_TRACE(::testing::PrintToString(std::string(bad)));
    EXPECT_EQ(Kyto_Util_AddClientToXMLFile(bad, nullptr, -1, nullptr, nullptr, -1), 1);
    EXPECT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:2", bad, -1, nullptr, nullptr, -1), 1);
    EXPECT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:2", nullptr, -1, bad, nullptr, -1), 1);
    EXPECT_EQ(Kyto_Util_AddClientToXMLFile("0:0:0:0:0:2", nullptr, -1, nullptr, bad, -1), 1);
  }
  EXPECT_EQ(readFile(processPaths().clientsXml), old);
}

TEST_F(StorableText, AFieldOfUpTo4096BytesIsStoredAndALongerOneRefused) {
  for (int field = 0; field < 4; ++field) {
    for (size_t length : {4096u, 4097u}) {
      SCOPED_TRACE("field " + std::to_string(field) + ", " + std::to_string(length) + " bytes");
      SetUp();
      const std::string text(length, 'a');
      const char* texts[4] = {"0:0:0:0:0:1", nullptr, nullptr, nullptr};  // mac, ip, user, type
      texts[field] = text.c_str();
      const bool storable = length <= 4096;
      EXPECT_EQ(Kyto_Util_AddClientToXMLFile(texts[0], texts[1], -1, texts[2], texts[3], -1),
                storable ? 0 : 1);
      EXPECT_EQ(kyto::test::fileExists(processPaths().clientsXml), storable);
      if (storable) {
        EXPECT_NE(readFile(processPaths().clientsXml).find(text), std::string::npos);
      }
    }
  }
}

TEST_F(StorableText, EveryStorableTextRoundTripsThroughAddAndRead) {
  const std::string ip = "& < > \" '";
  const std::string user = "tab\there|newline\nthere|cr\rthere|  two spaces ";
  const std::string type = "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 \x7F";
  ASSERT_EQ(
      Kyto_Util_AddClientToXMLFile("0:0:0:0:0:1", ip.c_str(), 2, user.c_str(), type.c_str(), 0), 0);
  kyto::test::ReadResult result = readStoredClients();
  ASSERT_EQ(result.clients.size(), 1u);
  EXPECT_EQ(result.clients[0].ip, ip);
  EXPECT_EQ(result.clients[0].user, user);
  EXPECT_EQ(result.clients[0].clientType, type);
}

}  // namespace
