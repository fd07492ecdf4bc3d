// clientadm add, del and restore killed as they enter each fsync, link, rename, unlink and mkdir
// they make, one after another (strace's fault injection sends SIGKILL as the call begins, so a
// kill before a call is a kill after the one before): the list is the old one or the new one,
// the history tells the truth (the change is its newest entry exactly when the list holds it,
// and that version is the replaced list, a file of its own), and the next change clears what the
// killed ones left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "staged_root.h"

namespace {

using kyto::test::listDir;
using kyto::test::ProgramResult;
using kyto::test::readFile;
using kyto::test::StagedRoot;

const std::string kClientadm = KYTO_CLIENTADM_PATH;
constexpr int kKilled = 128 + SIGKILL;
const char* const kCalls[] = {"mkdir",  "mkdirat",  "fsync",     "fdatasync", "link",    "linkat",
                              "rename", "renameat", "renameat2", "unlink",    "unlinkat"};

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string historyDir(const StagedRoot& root) {
  return root.paths().configDir + "clients.history/";
}

// clientadm with args, killed as it enters its nth call of syscall (or with that call failing
// as fault says); the exit status.
int runKilledAt(const StagedRoot& root, const std::vector<std::string>& args, const char* syscall,
                int nth, const char* fault = "signal=KILL") {
  const std::string call = syscall;
  const std::string inject = call + ":" + fault + ":when=" + std::to_string(nth);
  std::vector<std::string> command = {
      "strace",           "-f",      "-o", "/dev/null", "-e", "trace=" + call, "-e",
      "inject=" + inject, kClientadm};
  command.insert(command.end(), args.begin(), args.end());
  // LeakSanitizer can't work under a tracer and fails the run; leaks are looked for elsewhere.
  const char* options = getenv("ASAN_OPTIONS");
  const std::string noLeakCheck = std::string("ASAN_OPTIONS=") +
                                  (options != nullptr ? std::string(options) + ":" : "") +
                                  "detect_leaks=0";
  return root.run(command, {noLeakCheck}).exitStatus;
}

// What a change is, what it makes of the list, and what the history must then say.
struct Change {
  std::vector<std::string> args;
  std::string text;     // as the history shows it
  std::string newList;  // the list once it is made
};

// An add or a del of mac, with the list it makes of the list now (made on a copy elsewhere).
Change changeOf(const StagedRoot& root, const std::string& verb, const std::string& mac) {
  StagedRoot scratch;
  kyto::test::writeFile(scratch.paths().clientsXml, readFile(root.paths().clientsXml));
  EXPECT_EQ(scratch.run({"clientadm", verb, "-m", mac}).exitStatus, 0);
  return {{verb, "-m", mac}, verb + " " + mac, readFile(scratch.paths().clientsXml)};
}

// The newest version again, whose list the last change replaced.
Change restoreOfNewest(const StagedRoot& root, const std::vector<std::string>& history) {
  const std::string number = history.at(0).substr(0, history[0].find('|'));
  return {{"restore", number},
          "restore " + number,
          readFile(historyDir(root) + "version-" + number + ".xml")};
}

std::vector<std::string> historyLines(const StagedRoot& root) {
  const ProgramResult history = root.run({"clientadm", "history"});
  EXPECT_EQ(history.exitStatus, 0) << history.err;
  EXPECT_EQ(history.err, "");
  return lines(history.out);
}

// After a change that may have been killed: the list is old or new, and the history says which.
// history: the history's lines before, then after.
void expectTruth(const StagedRoot& root, const Change& change, const std::string& oldList,
                 std::vector<std::string>& history) {
  const std::string list = readFile(root.paths().clientsXml);
  ASSERT_TRUE(list == oldList || list == change.newList) << "neither the old nor the new list";
  const std::vector<std::string> before = std::move(history);
  history = historyLines(root);
  if (list == oldList) {
    EXPECT_EQ(history, before) << "a change that never came is in the history";
    return;
  }
  ASSERT_FALSE(history.empty());
  const std::string newest = history[0];
  EXPECT_NE(newest.find("|" + change.text + "|"), std::string::npos) << newest;
  std::vector<std::string> expected = {newest};
  expected.insert(expected.end(), before.begin(),
                  before.begin() + std::min<std::size_t>(before.size(), 9));
  EXPECT_EQ(history, expected);
  const std::string number = newest.substr(0, newest.find('|'));
  EXPECT_EQ(readFile(historyDir(root) + "version-" + number + ".xml"), oldList)
      << "the version is not the list it replaced";
  // Copies, never links: no edit of the list can reach a version.
  for (const std::string& name : listDir(historyDir(root))) {
    struct stat st {};
    ASSERT_EQ(lstat((historyDir(root) + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u) << name;
  }
}

// After a change that was not killed: nothing but the list, its lock and the history's directory
// beside the list, and in that only the index and the listed versions.
void expectClean(const StagedRoot& root, const std::vector<std::string>& history) {
  EXPECT_EQ(listDir(root.paths().configDir),
            (std::vector<std::string>{"clients.history", "clients.lock", "clients.xml"}));
  std::vector<std::string> expected = {"index"};
  for (const std::string& line : history) {
    const std::string number = line.substr(0, line.find('|'));
    expected.push_back("version-" + number + ".record");
    expected.push_back("version-" + number + ".xml");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listDir(historyDir(root)), expected);
}

// Makes the change, killed as it enters its nth call of syscall (not killed when nth is 0), and
// holds the list and the history (its lines before, then after) to the truth. The exit status.
int makeAndCheck(const StagedRoot& root, const Change& change, const char* syscall, int nth,
                 std::vector<std::string>& history) {
  const std::string oldList = readFile(root.paths().clientsXml);
  std::vector<std::string> args = {"clientadm"};
  args.insert(args.end(), change.args.begin(), change.args.end());
  const int status =
      nth > 0 ? runKilledAt(root, change.args, syscall, nth) : root.run(args).exitStatus;
  EXPECT_TRUE(status == 0 || status == kKilled) << status;
  expectTruth(root, change, oldList, history);
  return status;
}

bool straceRuns() {
  StagedRoot root;
  return root.run({"strace", "-f", "-o", "/dev/null", "true"}).exitStatus == 0;
}

TEST(CrashSafety, KilledAtEachFsyncLinkRenameAndUnlinkTheHistoryTellsTheTruth) {
  if (!straceRuns()) GTEST_SKIP() << "strace is not installed or may not trace here";
  StagedRoot root;
  kyto::test::writeFile(root.paths().clientsXml, kyto::test::clientList(50));
  int fresh = 0;
  const auto freshMac = [&] {
    char mac[18];
    snprintf(mac, sizeof mac, "0a:00:00:00:%02x:%02x", fresh >> 8 & 0xff, fresh & 0xff);
    ++fresh;
    return std::string(mac);
  };
  std::string lastAdded = "02:00:00:00:00:01";
  std::vector<std::string> history;
  int kills = 0;
  for (const std::string_view command : {"add", "del", "restore"}) {
    for (const char* call : kCalls) {
      for (int nth = 1;; ++nth) {
        SCOPED_TRACE(std::string(command) + " killed at " + call + " " + std::to_string(nth));
        // The change, killed; then an add killed at the same call, which meets what the first
        // left; then an add that runs to its end and must leave nothing behind.
        const Change change = command == "add"   ? changeOf(root, "add", freshMac())
                              : command == "del" ? changeOf(root, "del", lastAdded)
                                                 : restoreOfNewest(root, history);
        const int status = makeAndCheck(root, change, call, nth, history);
        if (status == kKilled)
          makeAndCheck(root, changeOf(root, "add", freshMac()), call, nth, history);
        lastAdded = freshMac();
        ASSERT_EQ(makeAndCheck(root, changeOf(root, "add", lastAdded), call, 0, history), 0);
        expectClean(root, history);
        if (status != kKilled) break;
        ++kills;
      }
    }
  }
  // Every command was killed at each of its calls of these kinds: many rounds.
  RecordProperty("kills", kills);
  EXPECT_GT(kills, 30);
}

// The same for the first change, which meets no history yet: what it left is no version.
TEST(CrashSafety, TheFirstChangeKilledAnywhereLeavesNoVersion) {
  if (!straceRuns()) GTEST_SKIP() << "strace is not installed or may not trace here";
  for (const char* call : kCalls) {
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(std::string(call) + " " + std::to_string(nth));
      StagedRoot root;
      kyto::test::writeFile(root.paths().clientsXml, kyto::test::clientList(3));
      std::vector<std::string> history;
      const int status =
          makeAndCheck(root, changeOf(root, "add", "0a:00:00:00:00:01"), call, nth, history);
      ASSERT_EQ(makeAndCheck(root, changeOf(root, "add", "0a:00:00:00:00:02"), call, 0, history),
                0);
      expectClean(root, history);
      if (status != kKilled) break;
    }
  }
}

// A change whose index can't be written keeps its version, and a hand edit after it is an edit.
TEST(CrashSafety, AnIndexThatCantBeWrittenCostsNoVersion) {
  if (!straceRuns()) GTEST_SKIP() << "strace is not installed or may not trace here";
  StagedRoot root;
  kyto::test::writeFile(root.paths().clientsXml, kyto::test::clientList(3));
  ASSERT_EQ(root.run({"clientadm", "add", "-m", "0a:00:00:00:00:01"}).exitStatus, 0);
  // The copy, the record, then the index: its rename is the third.
  ASSERT_EQ(runKilledAt(root, {"add", "-m", "0a:00:00:00:00:02"}, "renameat", 3, "error=ENOSPC"),
            0);
  kyto::test::writeFile(root.paths().clientsXml + ".new", kyto::test::clientList(2));
  ASSERT_EQ(rename((root.paths().clientsXml + ".new").c_str(), root.paths().clientsXml.c_str()), 0);
  std::vector<std::string> history = historyLines(root);
  ASSERT_EQ(history.size(), 3u);
  EXPECT_NE(history[0].find("|edit|"), std::string::npos) << history[0];
  EXPECT_NE(history[1].find("|add 0a:00:00:00:00:02|"), std::string::npos) << history[1];
  ASSERT_EQ(root.run({"clientadm", "add", "-m", "0a:00:00:00:00:03"}).exitStatus, 0);
  history = historyLines(root);
  ASSERT_EQ(history.size(), 4u);
  EXPECT_NE(history[1].find("|edit|"), std::string::npos) << history[1];
  EXPECT_NE(history[2].find("|add 0a:00:00:00:00:02|"), std::string::npos) << history[2];
}

// The backup of a list that can't be read is renamed into place whole: an add killed before that
// leaves none under a backup's name, and the next add makes the one backup and clears the rest.
TEST(CrashSafety, KilledWhileKeepingAnUnreadableListLeavesNoPartialBackup) {
  if (!straceRuns()) GTEST_SKIP() << "strace is not installed or may not trace here";
  StagedRoot root;
  const std::string unreadable = "<UPNP_CLIENTS><CLIENT MAC=\"02:00:00:00:00:01\"";
  kyto::test::writeFile(root.paths().clientsXml, unreadable);
  const std::vector<std::string> add = {"add", "-m", "02:00:00:00:00:02"};
  const auto backups = [&] {
    std::vector<std::string> found;
    for (const std::string& name : listDir(root.paths().configDir))
      if (name.starts_with("clients.xml.corrupt-") || name.starts_with(".")) found.push_back(name);
    return found;
  };
  ASSERT_EQ(runKilledAt(root, add, "fsync", 1), kKilled);
  ASSERT_EQ(backups().size(), 1u);
  EXPECT_TRUE(backups()[0].starts_with(".clients.xml.corrupt-")) << backups()[0];
  ASSERT_EQ(root.run({"clientadm", "add", "-m", "02:00:00:00:00:02"}).exitStatus, 0);
  ASSERT_EQ(backups().size(), 1u);
  EXPECT_TRUE(backups()[0].starts_with("clients.xml.corrupt-")) << backups()[0];
  EXPECT_EQ(readFile(root.paths().configDir + backups()[0]), unreadable);
}

}  // namespace
