// A lock file that can't be created, and a clients.xml that is no list file at all or is huge:
// add, del and list answer sanely and leave what they can't use as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "staged_root.h"
#include "tree_snapshot.h"

namespace {

using kyto::test::changes;
using kyto::test::clientList;
using kyto::test::ProgramResult;
using kyto::test::snapshot;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

const std::string kConfig = "etc/config/kytomediasvr/";
const std::string kNewMac = "02:00:00:00:ff:ff";

struct Expected {
  int status;
  std::string out;
  std::string err;
};

// The message of the library when the lock file can't be opened or locked.
std::string lockFailure(int error) {
  return "Lock file failed(" + std::to_string(error) + "): " + strerror(error) + "\n";
}

// What clientadm says when add or del leaves the list as it was, and why.
std::string leftAlone(const StagedRoot& root, const std::string& why) {
  return "clientadm: " + root.paths().clientsXml + " was left as it was: " + why + "\n";
}

void expectResult(const ProgramResult& r, const Expected& e) {
  EXPECT_EQ(r.exitStatus, e.status);
  EXPECT_EQ(r.out, e.out);
  EXPECT_EQ(r.err, e.err);
}

// Runs add, del and list in that order and checks each against its expectation, and that the
// files below the root are what they were.
void expectAddDelListLeaveAlone(const StagedRoot& root, const Expected& add, const Expected& del,
                                const Expected& list) {
  const auto before = snapshot(root.path());
  {
    SCOPED_TRACE("add");
    expectResult(root.run({"clientadm", "add", "-m", kNewMac}), add);
  }
  {
    SCOPED_TRACE("del");
    expectResult(root.run({"clientadm", "del", "-m", "02:00:00:00:00:01"}), del);
  }
  {
    SCOPED_TRACE("list");
    expectResult(root.run({"clientadm", "list"}), list);
  }
  EXPECT_EQ(changes(before, snapshot(root.path())), "");
}

struct LockCase {
  const char* name;
  std::function<void(const StagedRoot&)> stage;
  int error;
  bool noAppliance;  // the configuration directory is missing: a hint follows the message
};

TEST(LockFile, ThatCannotBeCreatedFailsAddAndDelAndEmptiesTheStoredPartOfList) {
  const std::vector<LockCase> cases = {
      {"config directory missing", [](const StagedRoot&) {}, ENOENT, true},
      {"a directory in the lock file's place",
       [](const StagedRoot& root) {
         writeFile(root.paths().clientsXml, clientList(3));
         kyto::test::makeDirs(root.paths().clientsLock);
       },
       EISDIR, false},
  };
  for (const LockCase& c : cases) {
    SCOPED_TRACE(c.name);
    StagedRoot root;
    c.stage(root);
    const std::string hint = "clientadm: " + root.paths().configDir +
                             " does not exist: on a machine that is no appliance, set KYTO_ROOT "
                             "to the root of a staged appliance (KYTO_ROOT=DIR clientadm ...)\n";
    const std::string err = lockFailure(c.error) + (c.noAppliance ? hint : "");
    const Expected refused{1, "", err};
    expectAddDelListLeaveAlone(root, refused, refused, {0, "", err});
  }
}

// Read access to the lock file is enough to take its lock, so anyone who may read it could
// hold every writer off: the wait ends after 10 s, with the lock's message and nothing written,
// and list lists the other sources. The same for treeshaper's turn on its output's directory.
TEST(LockFile, HeldByAnotherProcessIsGivenUpAfterTheWaitLimit) {
  StagedRoot root;
  writeFile(root.paths().clientsXml, clientList(3));
  writeFile(root.paths().clientsLock, "");
  writeFile(root.templatePath(), "<T><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>");
  const std::string agent = root.paths().halyardAgent;
  writeFile(agent,
            "#!/bin/sh\necho '<root><device><mac>0a:00:00:00:00:01</mac></device></root>'\n");
  ASSERT_EQ(chmod(agent.c_str(), 0755), 0);
  const int list = open(root.paths().clientsLock.c_str(), O_RDONLY | O_CLOEXEC);
  const int trees = open(root.paths().treeDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(list, LOCK_EX), 0);
  ASSERT_EQ(flock(trees, LOCK_EX), 0);
  const auto before = snapshot(root.path());
  // At once, so that the test waits out the limit only once.
  auto add = std::async(std::launch::async, [&] {
    return root.run({"clientadm", "add", "-m", kNewMac});
  });
  auto listed = std::async(std::launch::async, [&] { return root.run({"clientadm", "list"}); });
  auto custom = std::async(std::launch::async, [&] {
    return root.run({"treeshaper", "--add", "Music", "1", "-o", "custom.xml"});
  });
  expectResult(add.get(), {1, "", lockFailure(EWOULDBLOCK)});
  expectResult(listed.get(), {0, "0|0a:00:00:00:00:01||||-1||2\n", lockFailure(EWOULDBLOCK)});
  expectResult(custom.get(), {1, "write xml to file failed\n",
                              root.paths().treeDir + "custom.xml: no turn to write it: another "
                                                     "writer held it for 10 s\n"});
  EXPECT_EQ(changes(before, snapshot(root.path())), "");
  close(list);
  close(trees);
}

struct ListFileCase {
  const char* name;
  std::function<void(const StagedRoot&)> stage;
  std::string why;  // what list says of the unreadable list; "" for one that is missing
};

TEST(ListFile, ThatIsNoRegularFileIsRefusedAndLeftAlone) {
  const std::vector<ListFileCase> cases = {
      {"a directory",
       [](const StagedRoot& root) { writeFile(root.paths().clientsXml + "/inside", "x"); },
       strerror(EISDIR)},
      {"a FIFO",
       [](const StagedRoot& root) {
         root.makeConfigDir();
         ASSERT_EQ(mkfifo(root.paths().clientsXml.c_str(), 0600), 0);
       },
       "not a regular file"},
      {"a link to itself",
       [](const StagedRoot& root) {
         ASSERT_EQ(symlink("clients.xml", (root.paths().clientsXml).c_str()), 0);
       },
       strerror(ELOOP)},
      {"a link into a missing directory",
       [](const StagedRoot& root) {
         ASSERT_EQ(symlink("missing/clients.xml", (root.paths().clientsXml).c_str()), 0);
       },
       ""},
  };
  for (const ListFileCase& c : cases) {
    SCOPED_TRACE(c.name);
    StagedRoot root;
    writeFile(root.paths().clientsLock, "");
    c.stage(root);
    // add finds nothing to parse and can't keep a copy of it, so it writes nothing; each says
    // why, unless there is no list at all (add then can't make one where the link leads).
    const std::string said = c.why.empty()
                                 ? ""
                                 : "clientadm: the stored client list could not be read (" + c.why +
                                       "): no stored client is listed\n";
    const std::string addSaid = leftAlone(root, c.why.empty() ? strerror(ENOENT) : c.why);
    expectAddDelListLeaveAlone(root, {1, "", addSaid},
                               {1, "", c.why.empty() ? "" : leftAlone(root, c.why)}, {0, "", said});
  }
}

struct LinkCase {
  const char* name;
  std::string link;                  // below the root
  std::string linkText;              // relative, read from the link's own directory
  std::vector<std::string> created;  // the files that must appear in <root>/kept
  std::vector<std::string> args;
  std::vector<std::string> readArgs;  // read back through the link
  std::string readOut;
};

// A link to a file that doesn't exist yet names where the file belongs (another disk, say), as an
// open for writing would take it: the file is created there and the link stays.
TEST(DanglingLink, IsFollowedToCreateTheFileItNames) {
  const std::vector<LinkCase> cases = {
      {"client list",
       kConfig + "clients.xml",
       "../../../kept/list.xml",
       {"list.history", "list.xml"},  // the list's history lives beside the file
       {"clientadm", "add", "-m", kNewMac},
       {"clientadm", "list"},
       "0|" + kNewMac + "||||-1||0\n"},
      {"custom tree",
       "usr/local/corpus/bin/custom.xml",
       "../../../../kept/tree.xml",
       {"tree.xml"},
       {"treeshaper", "--add", "Music", "1", "-o", "custom.xml"},
       {"treeshaper", "--read", "custom.xml", "Music"},
       "1 All Music\n"},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    StagedRoot root;
    writeFile(root.templatePath(), kyto::test::readFile(KYTO_SAMPLE_TREE));
    kyto::test::makeDirs(root / "kept");
    kyto::test::makeDirs(root.paths().configDir);
    ASSERT_EQ(symlink(c.linkText.c_str(), (root / c.link).c_str()), 0);

    expectResult(root.run(c.args), {0, "", ""});
    EXPECT_EQ(kyto::test::listDir(root / "kept"), c.created);
    struct stat st {};
    EXPECT_TRUE(lstat((root / c.link).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_EQ(root.run(c.readArgs).out, c.readOut);
  }
}

constexpr off_t kMiB = 1024 * 1024;

// A list that starts well and then holds zero bytes (sparse) up to its size, or one attribute
// value that makes it that size.
void writeSparseList(const std::string& path, off_t size) {
  writeFile(path, "<?xml version=\"1.0\"?>\n<UPNP_CLIENTS>\n<CLIENT MAC=\"02:00:00:00:00:01\"/>\n");
  ASSERT_EQ(truncate(path.c_str(), size), 0);
}

void writeHugeAttribute(const std::string& path, off_t size) {
  writeFile(path, "<UPNP_CLIENTS><CLIENT MAC=\"02:00:00:00:00:01\" USER=\"");
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::string chunk(kMiB, 'u');
  for (off_t written = 0; written < size; written += static_cast<off_t>(chunk.size()))
    ASSERT_EQ(write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
  const std::string tail = "\"/></UPNP_CLIENTS>\n";
  ASSERT_EQ(write(fd, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
  close(fd);
}

bool sameContent(const std::string& a, const std::string& b) {
  FILE* fa = fopen(a.c_str(), "rb");
  FILE* fb = fopen(b.c_str(), "rb");
  bool same = fa != nullptr && fb != nullptr;
  static char ba[1 << 16], bb[1 << 16];
  while (same) {
    const size_t na = fread(ba, 1, sizeof ba, fa);
    const size_t nb = fread(bb, 1, sizeof bb, fb);
    same = na == nb && memcmp(ba, bb, na) == 0;
    if (na == 0) break;
  }
  if (fa != nullptr) fclose(fa);
  if (fb != nullptr) fclose(fb);
  return same;
}

struct HugeCase {
  const char* name;
  void (*write)(const std::string& path, off_t size);
  off_t size;
  bool beyondSizeLimit;        // else not well-formed
  const char* malformed = "";  // where and why, when not well-formed
};

// A list over the reader's 64 MiB is not read: del and list leave it untouched, list says so,
// and add, as the list may well be sound, leaves it alone too. One within the limit that is not
// well-formed is kept whole as a backup by add before it starts a new list.
TEST(ListFile, OverTheSizeLimitIsLeftAloneAndAMalformedOneKeptWhole) {
  const std::vector<HugeCase> cases = {
      {"zero bytes after a valid start, 60 MiB", writeSparseList, 60 * kMiB, false,
       "line 4: not well-formed (invalid token)"},
      {"zero bytes after a valid start, 100 MiB", writeSparseList, 100 * kMiB, true},
      {"one 100 MiB attribute value", writeHugeAttribute, 100 * kMiB, true},
  };
  const Expected notRead{0, "",
                         "clientadm: the stored client list could not be read (" +
                             std::string(strerror(EFBIG)) + "): no stored client is listed\n"};
  for (const HugeCase& c : cases) {
    SCOPED_TRACE(c.name);
    StagedRoot root;
    const std::string list = root.paths().clientsXml;
    c.write(list, c.size);
    struct stat old {};
    ASSERT_EQ(stat(list.c_str(), &old), 0);
    ASSERT_GE(old.st_size, c.size);

    const std::string why = c.beyondSizeLimit
                                ? leftAlone(root, "larger than the 64 MiB the tools read")
                                : leftAlone(root, c.malformed);
    expectResult(root.run({"clientadm", "del", "-m", "02:00:00:00:00:01"}), {1, "", why});
    expectResult(root.run({"clientadm", "list"}),
                 c.beyondSizeLimit ? notRead : Expected{0, "", ""});
    if (c.beyondSizeLimit) {
      expectResult(root.run({"clientadm", "add", "-m", kNewMac}), {1, "", why});
    }
    struct stat now {};
    ASSERT_EQ(stat(list.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, old.st_ino);  // every rewrite renames a new file into place
    EXPECT_EQ(now.st_size, old.st_size);
    if (c.beyondSizeLimit) {
      EXPECT_EQ(kyto::test::listDir(root.paths().configDir),
                (std::vector<std::string>{"clients.lock", "clients.xml"}));
      continue;
    }
    const std::string kept = root / "kept";
    ASSERT_EQ(link(list.c_str(), kept.c_str()), 0);

    expectResult(root.run({"clientadm", "add", "-m", kNewMac}), {0, "", ""});
    expectResult(root.run({"clientadm", "list"}), {0, "0|" + kNewMac + "||||-1||0\n", ""});
    std::vector<std::string> backups;
    for (const std::string& name : kyto::test::listDir(root.paths().configDir)) {
      if (name.rfind("clients.xml.corrupt-", 0) == 0) backups.push_back(name);
    }
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(sameContent(root.paths().configDir + backups[0], kept));
  }
}

}  // namespace
