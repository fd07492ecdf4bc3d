// Hostile values on every command line: very long arguments, invalid UTF-8, control characters,
// quotes and XML markup, empty strings and option letters alone. Each row ends in a clear error
// or a faithful round trip, and nothing else changes: the stored clients stay listed, the
// template and other tree files stay as they were, and no stray file appears.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "staged_root.h"
#include "tree_snapshot.h"

namespace {

using kyto::test::changes;
using kyto::test::clientList;
using kyto::test::clientListing;
using kyto::test::snapshot;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

const std::string kLong(100000, 'x');  // near the kernel's limit of 128 KiB per argument
const std::string kBadUtf8 = "\xC3\x28\xFF\xFE";
const std::string kControl = "a\x01\x1b[2Jb";
const std::string kMarkup = "<>&\"'";
const std::string kUsage = "{usage}";  // stands for the program's usage text
const std::string kConfig = "etc/config/kytomediasvr/";
const std::string kTreeDir = "usr/local/corpus/bin/";
const std::string kFieldRefused =
    "clientadm: {root}/" + kConfig +
    "clients.xml was left as it was: a field of the client is longer than 4096 bytes or holds "
    "characters XML can't carry\n";
constexpr int kStored = 2;

struct Row {
  const char* name;
  std::vector<std::string> args;  // args[0] names the program
  int status;
  std::string out;  // kUsage at its end stands for the usage text, "{root}" for the root (also
                    // in err)
  std::optional<std::string> err = {};     // unset: not checked
  std::string listed = {};                 // add: the listing line of the new client
  std::vector<std::string> readBack = {};  // treeshaper: FILE and TYPE to read, and what they list
};

// Runs one row in a fresh root: two stored clients, the sample template and a custom tree.
void check(const Row& row) {
  SCOPED_TRACE(row.name);
  StagedRoot root;
  writeFile(root.paths().clientsXml, clientList(kStored));
  writeFile(root.paths().clientsLock, "");
  const std::string sample = kyto::test::readFile(KYTO_SAMPLE_TREE);
  writeFile(root.treeFile("UPnPTree.xml"), sample);
  writeFile(root.treeFile("keep.xml"), sample);

  const auto rooted = [&root](std::string text) {
    if (const auto at = text.find("{root}"); at != std::string::npos)
      text.replace(at, 6, root.path());
    return text;
  };
  std::string expectedOut = rooted(row.out);
  if (expectedOut.ends_with(kUsage)) {
    expectedOut.resize(expectedOut.size() - kUsage.size());
    expectedOut += root.run({row.args.at(0)}).out;
  }
  auto before = snapshot(root.path());
  const auto result = root.run(row.args);
  EXPECT_EQ(result.exitStatus, row.status);
  EXPECT_EQ(result.out, expectedOut);
  if (row.err) {
    EXPECT_EQ(result.err, rooted(*row.err));
  }

  // Nothing lost: the stored clients are still listed, with the new one of an accepted add.
  EXPECT_EQ(root.run({"clientadm", "list"}).out, clientListing(kStored) + row.listed);
  auto after = snapshot(root.path());
  if (!row.listed.empty()) {
    // An accepted add rewrites the list and keeps the one it replaced in the history.
    before.erase(kConfig + "clients.xml");
    after.erase(kConfig + "clients.xml");
    for (const char* file : {"", "/index", "/version-1.xml", "/version-1.record"})
      EXPECT_EQ(after.erase(kConfig + "clients.history" + file), 1u) << file;
  }
  if (!row.readBack.empty()) {
    EXPECT_EQ(root.run({"treeshaper", "--read", row.readBack[0], row.readBack[1]}).out,
              row.readBack[2]);
    EXPECT_EQ(after.erase(kTreeDir + row.readBack[0]), 1u) << "no file was written";
  }
  EXPECT_EQ(changes(before, after), "");
}

const std::string kMac = "02:00:00:00:00:10";  // lists after the stored clients

std::string listedUser(const std::string& user) {
  return "0|" + kMac + "||||-1|" + user + "|0\n";
}

TEST(BadInput, ClientadmCommandLines) {
  const std::string macError = "Error MAC address\n";
  const std::string typeError = "Error client type name\n";
  const std::string noFilePath = "Error, it should have --filePath parameter.\n";
  const std::string customMarkup = "CUST" + kMarkup + kMarkup + "<>";  // 16 characters
  const std::vector<Row> rows = {
      {"command word very long", {"clientadm", kLong}, 1, kUsage, ""},
      {"command word empty", {"clientadm", ""}, 1, kUsage, ""},
      {"command word invalid UTF-8", {"clientadm", kBadUtf8}, 1, kUsage, ""},
      {"add: MAC very long", {"clientadm", "add", "-m", kLong}, 1, kUsage, macError},
      {"add: MAC of markup", {"clientadm", "add", "-m", kMarkup}, 1, kUsage, macError},
      {"add: MAC invalid UTF-8", {"clientadm", "add", "-m", kBadUtf8}, 1, kUsage, macError},
      {"add: MAC of control characters", {"clientadm", "add", "-m", kControl}, 1, kUsage, macError},
      {"add: MAC empty", {"clientadm", "add", "-m", ""}, 1, kUsage, macError},
      {"add: -m alone", {"clientadm", "add", "-m"}, 1, kUsage, ""},
      {"add: -p alone", {"clientadm", "add", "-m", kMac, "-p"}, 1, kUsage, ""},
      {"add: -t alone", {"clientadm", "add", "-m", kMac, "-t"}, 1, kUsage, ""},
      {"add: a dash alone", {"clientadm", "add", "-m", kMac, "-"}, 1, kUsage, ""},
      {"add: -d alone, no MAC", {"clientadm", "add", "-d"}, 1, kUsage, ""},
      {"add: a stray word of markup", {"clientadm", "add", "-m", kMac, kMarkup}, 1, kUsage, ""},
      {"add: type very long", {"clientadm", "add", "-m", kMac, "-t", kLong}, 1, kUsage, typeError},
      {"add: type empty", {"clientadm", "add", "-m", kMac, "-t", ""}, 1, kUsage, typeError},
      {"add: type invalid UTF-8",
       {"clientadm", "add", "-m", kMac, "-t", kBadUtf8},
       1,
       kUsage,
       typeError},
      // Over 4096 bytes: a field is refused rather than written beyond what is read back.
      {"add: user very long", {"clientadm", "add", "-m", kMac, "-u", kLong}, 1, "", kFieldRefused},
      {"add: user of markup",
       {"clientadm", "add", "-m", kMac, "-u", kMarkup},
       0,
       "",
       "",
       listedUser(kMarkup)},
      {"add: user with tab and newline",
       {"clientadm", "add", "-m", kMac, "-u", "a\tb\nc"},
       0,
       "",
       "",
       listedUser("a?b?c")},  // stored as given, listed as one field of one line
      {"add: -u alone gives no user",
       {"clientadm", "add", "-m", kMac, "-u"},
       0,
       "",
       "",
       listedUser("")},
      {"add: IP and user empty",
       {"clientadm", "add", "-m", kMac, "-i", "", "-u", ""},
       0,
       "",
       "",
       listedUser("")},
      {"add: IP of markup",
       {"clientadm", "add", "-m", kMac, "-i", kMarkup},
       0,
       "",
       "",
       "0|" + kMac + "|" + kMarkup + "|||-1||0\n"},
      {"add: custom type of markup",
       {"clientadm", "add", "-m", kMac, "-t", customMarkup},
       0,
       "",
       "",
       "0|" + kMac + "|||" + customMarkup + "|-1||0\n"},
      // The profile text must be a whole number; strtol saturates a very long one at LONG_MAX,
      // whose low 32 bits are -1, that is no profile.
      {"add: profile of markup",
       {"clientadm", "add", "-m", kMac, "-p", kMarkup},
       1,
       kUsage,
       "Error browsing profile Id\n"},
      {"add: profile very long",
       {"clientadm", "add", "-m", kMac, "-p", std::string(100000, '9')},
       0,
       "",
       "",
       listedUser("")},
      // Text that XML 1.0 can't carry is refused by the store, which writes nothing.
      {"add: user invalid UTF-8",
       {"clientadm", "add", "-m", kMac, "-u", kBadUtf8},
       1,
       "",
       kFieldRefused},
      {"add: user of control characters",
       {"clientadm", "add", "-m", kMac, "-u", kControl},
       1,
       "",
       kFieldRefused},
      {"add: IP of control characters",
       {"clientadm", "add", "-m", kMac, "-i", kControl},
       1,
       "",
       kFieldRefused},
      {"add: custom type invalid UTF-8",
       {"clientadm", "add", "-m", kMac, "-t", "CUST" + std::string(12, '\xff')},
       1,
       "",
       kFieldRefused},
      {"del: MAC very long", {"clientadm", "del", "-m", kLong}, 1, "", ""},
      {"del: MAC of markup", {"clientadm", "del", "-m", kMarkup}, 1, "", ""},
      {"del: MAC invalid UTF-8", {"clientadm", "del", "-m", kBadUtf8}, 1, "", ""},
      {"del: MAC empty", {"clientadm", "del", "-m", ""}, 1, "", ""},
      {"del: -m alone", {"clientadm", "del", "-m"}, 1, kUsage, ""},
      {"del: no option", {"clientadm", "del"}, 1, kUsage, ""},
      {"list: hostile words after it",
       {"clientadm", "list", kLong, kBadUtf8, kMarkup, ""},
       0,
       clientListing(kStored),
       ""},
      {"getDuration: no option", {"clientadm", "getDuration"}, 1, "", noFilePath},
      {"getDuration: --filePath alone",
       {"clientadm", "getDuration", "--filePath"},
       1,
       "",
       noFilePath},
      {"getDuration: option word of markup",
       {"clientadm", "getDuration", kMarkup, "x"},
       1,
       "",
       noFilePath},
      {"getDuration: directory very long",
       {"clientadm", "getDuration", "--filePath", "/" + kLong + "/f"},
       1,
       "",
       "Error, the directory of --filePath is longer than 1023 bytes.\n"},
  };
  for (const Row& row : rows) check(row);
}

// Status 1 with the usage or any message; libxml2's report of a file is one line with the
// file's name made safe.
TEST(BadInput, TreeshaperCommandLines) {
  const std::string noNodes = "File did not contain the nodes we need\n";
  const std::string unreadable = "pdoc is NULL\nproot is NULL\n";
  const std::string treeDir = "{root}/" + kTreeDir;
  std::vector<std::string> ids33 = {"treeshaper", "--add", "Music"};
  for (int id = 1; id <= 33; ++id) ids33.push_back(std::to_string(id));
  ids33.insert(ids33.end(), {"-o", "many.xml"});
  const std::vector<Row> rows = {
      {"command word very long", {"treeshaper", kLong}, 1, kUsage, ""},
      {"command word empty", {"treeshaper", ""}, 1, kUsage, ""},
      {"--list alone", {"treeshaper", "--list"}, 1, kUsage, ""},
      {"--list TYPE very long", {"treeshaper", "--list", kLong}, 1, noNodes, ""},
      {"--list TYPE of markup", {"treeshaper", "--list", kMarkup}, 1, noNodes, ""},
      {"--list TYPE invalid UTF-8", {"treeshaper", "-l", kBadUtf8}, 1, noNodes, ""},
      {"--list TYPE empty", {"treeshaper", "-l", ""}, 1, noNodes, ""},
      {"--read alone", {"treeshaper", "--read"}, 1, kUsage, ""},
      {"--read FILE alone", {"treeshaper", "--read", "keep.xml"}, 1, kUsage, ""},
      {"--read FILE very long",
       {"treeshaper", "--read", kLong, "Music"},
       1,
       "",
       "file path is too long\n"},
      {"--read FILE of markup",
       {"treeshaper", "-r", kMarkup, "Music"},
       1,
       unreadable,
       treeDir + kMarkup + ": No such file or directory\n"},
      {"--read FILE of control characters",
       {"treeshaper", "-r", kControl, "Music"},
       1,
       unreadable,
       treeDir + "a??[2Jb: No such file or directory\n"},
      {"--read TYPE of markup", {"treeshaper", "-r", "keep.xml", kMarkup}, 1, noNodes, ""},
      {"--add alone", {"treeshaper", "--add"}, 1, "", ""},
      {"--add TYPE of markup", {"treeshaper", "--add", kMarkup, "1", "-o", "t.xml"}, 1, kUsage, ""},
      {"--add TYPE empty", {"treeshaper", "-a", "", "1", "-o", "t.xml"}, 1, kUsage, ""},
      {"--add TYPE alone", {"treeshaper", "-a", "Music"}, 1, kUsage, ""},
      {"--output alone", {"treeshaper", "-a", "Music", "1", "-o"}, 1, kUsage, ""},
      {"--output FILE of 129 characters",
       {"treeshaper", "-a", "Music", "1", "-o", std::string(129, 'n')},
       1,
       "output file name can not more than 128 character\n" + kUsage,
       ""},
      {"--output FILE empty names the tree directory",
       {"treeshaper", "-a", "Music", "1", "-o", ""},
       1,
       unreadable,
       "{root}/usr/local/corpus/bin: Is a directory\n"},
      {"a stray option among the ids",
       {"treeshaper", "-a", "Music", "1", "-x", "-o", "t.xml"},
       1,
       "it should have --output after --add\n" + kUsage,
       ""},
      {"33 ids", ids33, 1, kUsage, "attribute id can not more than 32\n"},
      // Ids are cut to 128 characters and read as decimal numbers: "1xx..." is 1, markup is 0.
      {"an id very long",
       {"treeshaper", "-a", "Music", "1" + kLong, "-o", "long-id.xml"},
       0,
       "",
       "",
       "",
       {"long-id.xml", "Music", "1 All Music\n"}},
      {"an id of markup",
       {"treeshaper", "-a", "Music", kMarkup, "-o", "markup-id.xml"},
       0,
       "",
       "",
       "",
       {"markup-id.xml", "Music", ""}},
      {"--output FILE of markup",
       {"treeshaper", "-a", "Music", "2", "-o", kMarkup},
       0,
       "",
       "",
       "",
       {kMarkup, "Music", "2 Album\n"}},
      {"--output FILE invalid UTF-8",
       {"treeshaper", "-a", "Music", "3", "-o", kBadUtf8},
       0,
       "",
       "",
       "",
       {kBadUtf8, "Music", "3 Artist\n"}},
      {"--output FILE of control characters",
       {"treeshaper", "-a", "Music", "4", "-o", kControl},
       0,
       "",
       "",
       "",
       {kControl, "Music", "4 Album Artist\n"}},
  };
  for (const Row& row : rows) check(row);
}

}  // namespace
