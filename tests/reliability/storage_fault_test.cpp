// A full file system and a read-only directory under clientadm add, del and list and treeshaper
// --add: each fails with status 1 or its message, the old files stay byte for byte, and no
// temporary file or partial backup is left.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "process_limits.h"
#include "staged_root.h"
#include "tree_snapshot.h"

namespace {

using kyto::test::changes;
using kyto::test::clientList;
using kyto::test::clientListing;
using kyto::test::ScratchMount;
using kyto::test::snapshot;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

// Big enough for the staged files, and each file is larger than the one page left free, so that
// every rewrite fails after a partial write.
constexpr std::size_t kVolumeBytes = 64 * 1024;
constexpr std::size_t kLeftFree = 4096;
constexpr int kStoredClients = 150;

enum class Layout {
  ConfigOnVolume,        // the whole config directory lies on the scratch volume
  ListLinkedIntoVolume,  // only clients.xml does, through a link; the lock file is elsewhere
};
enum class Fault { Full, ReadOnly };

struct Outcome {
  int status;
  std::string out;
  std::optional<std::string> err;  // unset: not checked; "{list}" stands for the list's path
};

struct StorageCase {
  const char* name;
  Layout layout;
  bool corruptList;
  std::vector<std::string> args;  // "{vol}" stands for the scratch volume
  Outcome whenFull;
  Outcome whenReadOnly;
};

const std::string kWriteFailed = "write xml to file failed\n";

std::vector<StorageCase> cases() {
  const Outcome full{1, "", "clientadm: {list} was left as it was: No space left on device\n"};
  const Outcome readOnly{1, "", "clientadm: {list} was left as it was: Read-only file system\n"};
  const Outcome listed{0, clientListing(kStoredClients), ""};
  const Outcome treeRefused{1, kWriteFailed, ""};
  const std::vector<std::string> add = {"clientadm", "add", "-m", "02:00:00:00:ff:ff", "-p", "1"};
  const std::vector<std::string> del = {"clientadm", "del", "-m", "02:00:00:00:00:05"};
  return {
      // The lock file is only read, so the lock is taken on read-only storage too.
      {"add", Layout::ConfigOnVolume, false, add, full, readOnly},
      {"del", Layout::ConfigOnVolume, false, del, full, readOnly},
      {"add over a corrupt list", Layout::ConfigOnVolume, true, add, full, readOnly},
      {"list", Layout::ConfigOnVolume, false, {"clientadm", "list"}, listed, listed},
      {"add through a link", Layout::ListLinkedIntoVolume, false, add, full, readOnly},
      {"del through a link", Layout::ListLinkedIntoVolume, false, del, full, readOnly},
      {"list through a link",
       Layout::ListLinkedIntoVolume,
       false,
       {"clientadm", "list"},
       listed,
       listed},
      {"treeshaper replaces a custom tree",
       Layout::ConfigOnVolume,
       false,
       {"treeshaper", "--add", "Music", "3", "-o", "{vol}/trees/custom.xml"},
       treeRefused,
       treeRefused},
      {"treeshaper writes a new tree",
       Layout::ConfigOnVolume,
       false,
       {"treeshaper", "--add", "Music", "1", "-o", "{vol}/trees/new.xml"},
       treeRefused,
       treeRefused},
  };
}

// A template whose Video section alone makes every custom tree several pages long.
std::string bigTemplate() {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_TREE>\n  <TYPE NAME=\"Music\">\n"
      "    <ATTRIBUTE ID=\"0x1\" NAME=\"All Music\"/>\n"
      "    <ATTRIBUTE ID=\"0x2\" NAME=\"Album\"/>\n"
      "    <ATTRIBUTE ID=\"0x3\" NAME=\"Artist\"/>\n  </TYPE>\n  <TYPE NAME=\"Video\">\n";
  for (int id = 0x100; id < 0x100 + 300; ++id) {
    char line[80];
    snprintf(line, sizeof line, "    <ATTRIBUTE ID=\"0x%x\" NAME=\"Video attribute %d\"/>\n", id,
             id);
    xml += line;
  }
  return xml + "  </TYPE>\n  <TYPE NAME=\"Photo\"/>\n</UPNP_TREE>\n";
}

std::string withVolume(std::string arg, const std::string& vol) {
  if (auto at = arg.find("{vol}"); at != std::string::npos) arg.replace(at, 5, vol);
  return arg;
}

void stage(const StagedRoot& root, const std::string& vol, const StorageCase& c) {
  std::string list = clientList(kStoredClients);
  if (c.corruptList) list.resize(list.rfind("</UPNP_CLIENTS>"));
  writeFile(vol + "/config/clients.xml", list);
  kyto::test::makeDirs(root / "etc/config");
  if (c.layout == Layout::ConfigOnVolume) {
    writeFile(vol + "/config/clients.lock", "");
    ASSERT_EQ(symlink((vol + "/config").c_str(), (root / "etc/config/kytomediasvr").c_str()), 0);
  } else {
    writeFile(root.paths().clientsLock, "");
    ASSERT_EQ(symlink((vol + "/config/clients.xml").c_str(), root.paths().clientsXml.c_str()), 0);
  }
  writeFile(root.templatePath(), bigTemplate());
  kyto::test::makeDirs(vol + "/trees");
  auto made = root.run({"treeshaper", "--add", "Music", "1", "2", "-o", vol + "/trees/custom.xml"});
  ASSERT_EQ(made.out, "");
  ASSERT_GT(kyto::test::readFile(vol + "/trees/custom.xml").size(), 2 * kLeftFree);
}

void runCases(Fault fault) {
  for (const StorageCase& c : cases()) {
    SCOPED_TRACE(c.name);
    StagedRoot root;
    const std::string vol = root / "vol";
    ScratchMount mount(vol, kVolumeBytes);
    if (!mount.failure().empty()) GTEST_SKIP() << "no scratch tmpfs: " << mount.failure();
    stage(root, vol, c);
    if (fault == Fault::Full) {
      ASSERT_TRUE(mount.fillLeaving(kLeftFree));
    } else {
      ASSERT_TRUE(mount.remountReadOnly());
    }
    const auto before = snapshot(root.path());
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(withVolume(arg, vol));
    const auto result = root.run(args);
    const Outcome& expected = fault == Fault::Full ? c.whenFull : c.whenReadOnly;
    EXPECT_EQ(result.exitStatus, expected.status);
    EXPECT_EQ(result.out, expected.out);
    if (expected.err) {
      std::string err = *expected.err;
      if (const auto at = err.find("{list}"); at != std::string::npos)
        err.replace(at, 6, root.paths().clientsXml);
      EXPECT_EQ(result.err, err);
    }
    EXPECT_EQ(changes(before, snapshot(root.path())), "");
  }
}

TEST(StorageFaults, AFullFileSystemKeepsTheOldFilesAndLeavesNoTemporary) {
  runCases(Fault::Full);
}

TEST(StorageFaults, AReadOnlyDirectoryKeepsTheOldFilesAndLeavesNoTemporary) {
  runCases(Fault::ReadOnly);
}

// The sanitizers' runtimes and valgrind read /proc themselves before the program starts.
bool runsUnderAChecker() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  const char* wrapper = getenv("KYTO_TEST_WRAPPER");
  return wrapper != nullptr && *wrapper != '\0';
}

const std::string kTree =
    "<T>\n  <TYPE NAME=\"Music\">\n    <A ID=\"0x1\" NAME=\"Album\"/>\n"
    "    <A ID=\"0x2\" NAME=\"Artist\"/>\n  </TYPE>\n</T>\n";

// A rescue shell or a minimal container may have no /proc: every write is made without it.
TEST(Writes, NeedNoProc) {
  if (runsUnderAChecker()) GTEST_SKIP() << "the memory checkers need /proc to start a program";
  StagedRoot root;
  writeFile(root.paths().clientsXml, clientList(2));
  writeFile(root.templatePath(), kTree);
  ScratchMount noProc("/proc", 4096);
  if (!noProc.failure().empty()) GTEST_SKIP() << "/proc can't be hidden: " << noProc.failure();
  ASSERT_FALSE(kyto::test::fileExists("/proc/self/fd"));
  EXPECT_EQ(root.run({"clientadm", "add", "-m", "02:00:00:00:ff:ff"}).exitStatus, 0);
  EXPECT_EQ(root.run({"clientadm", "del", "-m", "02:00:00:00:00:00"}).exitStatus, 0);
  EXPECT_EQ(root.run({"treeshaper", "--add", "Music", "2", "-o", "custom.xml"}).exitStatus, 0);
  EXPECT_EQ(root.run({"treeshaper", "--add", "Music", "1", "-o", "custom.xml"}).exitStatus, 0);
  EXPECT_EQ(root.run({"clientadm", "list"}).out,
            "0|02:00:00:00:00:01||||-1|user 1|0\n0|02:00:00:00:ff:ff||||-1||0\n");
  EXPECT_EQ(root.run({"treeshaper", "--read", "custom.xml", "Music"}).out, "1 Album\n");
}

// Callers read the programs' standard output: one that can't be written fails the run, with one
// line on standard error, whatever the command did.
TEST(Writes, StandardOutputThatCannotBeWrittenFailsTheRun) {
  StagedRoot root;
  writeFile(root.paths().clientsXml, clientList(2));
  writeFile(root.paths().clientTypesXml, "<UPNP_CLIENTTYPES><CLIENTTYPE/></UPNP_CLIENTTYPES>");
  writeFile(root.templatePath(), kTree);
  const struct {
    std::vector<std::string> args;
    const char* program;
  } runs[] = {
      {{"clientadm", "list"}, "clientadm"},
      {{"clientadm", "list", "--json"}, "clientadm"},
      {{"clientadm", "check"}, "clientadm"},
      {{"clientadm", "getDuration", "--filePath", KYTO_MEDIA_DIR "/song.mp3"}, "clientadm"},
      {{"treeshaper", "--list", "Music"}, "treeshaper"},
  };
  const std::string full =
      std::string(": standard output could not be written: ") + strerror(ENOSPC) + "\n";
  for (const auto& run : runs) {
    SCOPED_TRACE(run.args[1]);
    EXPECT_EQ(root.run(run.args).exitStatus, run.args[1] == "check" ? 1 : 0);  // writable: as ever
    std::vector<std::string> toFull = {
        "/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full",
        run.program == std::string("clientadm") ? KYTO_CLIENTADM_PATH : KYTO_TREESHAPER_PATH};
    toFull.insert(toFull.end(), run.args.begin() + 1, run.args.end());
    const kyto::test::ProgramResult result = root.run(toFull);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, run.program + full);
  }
}

constexpr uid_t kNobody = 65534;

// An output directory its writer may write and search but not read (mode 0333) can't be opened
// to take turns on it: a new file is written all the same, and an existing one too.
TEST(Writes, NeedNoReadableOutputDirectory) {
  StagedRoot root;
  writeFile(root.templatePath(), kTree);
  const std::string out = root / "drop";
  kyto::test::makeDirs(out);
  // The writer runs as another user, who may not enter the directory of the build (a checkout
  // under /root, say): a copy of the program in the staged root is reachable.
  const std::string program = root / "treeshaper";
  std::filesystem::copy_file(KYTO_TREESHAPER_PATH, program);
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  for (std::string dir = root.templatePath(); dir.size() > root.path().size();
       dir.resize(dir.rfind('/')))
    ASSERT_EQ(chmod(dir.c_str(), dir == root.templatePath() ? 0644 : 0755), 0) << dir;
  ASSERT_EQ(chmod(root.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(out.c_str(), 0333), 0);
  const auto addAsNobody = [&](const char* id) {
    const pid_t child = fork();
    if (child == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(77);
      setenv("KYTO_ROOT", root.path().c_str(), 1);
      const std::string file = out + "/c.xml";
      execl(program.c_str(), "treeshaper", "--add", "Music", id, "-o", file.c_str(),
            static_cast<char*>(nullptr));
      _exit(errno == EACCES ? 78 : 127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  if (geteuid() != 0) GTEST_SKIP() << "only root can run the writer as another user here";
  const int created = addAsNobody("1");
  if (created == 77) GTEST_SKIP() << "root could not run the writer as another user";
  if (created == 78)
    GTEST_SKIP() << "uid " << kNobody << " may not reach " << program
                 << ": the temporary directory lies in a directory it may not enter";
  EXPECT_EQ(created, 0);
  EXPECT_EQ(addAsNobody("2"), 0);
  ASSERT_EQ(chmod(out.c_str(), 0755), 0);
  EXPECT_EQ(root.run({"treeshaper", "--read", out + "/c.xml", "Music"}).out, "2 Artist\n");
  EXPECT_EQ(kyto::test::listDir(out), std::vector<std::string>{"c.xml"});
}

}  // namespace
