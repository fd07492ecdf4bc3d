// Several clientadm processes add and delete distinct clients at once while others list in a
// loop: the lock must serialise them so that no update is lost and every read sees a whole list.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "staged_root.h"

extern char** environ;

namespace {

using kyto::test::StagedRoot;

const std::string kClientadm = KYTO_CLIENTADM_PATH;
constexpr int kWriters = 4;
constexpr int kClientsPerWriter = 20;
constexpr int kReaders = 2;
constexpr int kReadsPerReader = 15;
constexpr int kSeededClients = 5;

std::string mac(int writer, int client) {
  char text[18];
  snprintf(text, sizeof text, "02:00:00:00:%02x:%02x", writer, client);
  return text;
}

// Each writer adds its clients, then deletes every third one again.
std::string writerScript(int writer) {
  std::ostringstream s;
  s << "set -e\n";
  for (int c = 0; c < kClientsPerWriter; ++c)
    s << "\"$CLIENTADM\" add -m " << mac(writer, c) << " -p " << c % 6 << " -u w" << writer << "\n";
  for (int c = 0; c < kClientsPerWriter; c += 3)
    s << "\"$CLIENTADM\" del -m " << mac(writer, c) << "\n";
  return s.str();
}

std::string readerScript(const std::string& outFile) {
  return "for i in $(seq " + std::to_string(kReadsPerReader) +
         "); do \"$CLIENTADM\" list; echo ---; done > " + outFile + "\n";
}

pid_t startShell(const std::string& script, const std::string& root) {
  std::vector<std::string> env = {"KYTO_ROOT=" + root, "CLIENTADM=" + kClientadm,
                                  "PATH=/usr/bin:/bin"};
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), envp.data()),
            0);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

TEST(Concurrency, ParallelAddsDeletesAndListsLoseNothing) {
  StagedRoot root;
  root.makeConfigDir();
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), kClientadm);
    return root.run(args);
  };
  for (int c = 0; c < kSeededClients; ++c)
    ASSERT_EQ(run({"add", "-m", mac(0xff, c)}).exitStatus, 0);

  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) pids.push_back(startShell(writerScript(w), root.path()));
  for (int r = 0; r < kReaders; ++r)
    pids.push_back(startShell(readerScript(root / ("reads" + std::to_string(r))), root.path()));
  for (pid_t pid : pids) EXPECT_EQ(waitFor(pid), 0);

  // Every expected client is listed exactly once, and no deleted one.
  std::multiset<std::string> listed;
  for (const std::string& line : lines(run({"list"}).out))
    listed.insert(line.substr(line.find('|') + 1, 17));
  for (int c = 0; c < kSeededClients; ++c) EXPECT_EQ(listed.count(mac(0xff, c)), 1u);
  for (int w = 0; w < kWriters; ++w) {
    for (int c = 0; c < kClientsPerWriter; ++c) {
      EXPECT_EQ(listed.count(mac(w, c)), c % 3 == 0 ? 0u : 1u) << mac(w, c);
    }
  }
  EXPECT_EQ(listed.size(),
            static_cast<size_t>(kSeededClients + kWriters * (kClientsPerWriter - 7)));

  // Every read saw a whole, well-formed list: all lines well-formed and the seeded clients in each.
  const std::regex line(R"(^[01]\|([0-9a-f]{2}:){5}[0-9a-f]{2}\|\|\|\|-?[0-9]\|w?[0-9]*\|0$)");
  for (int r = 0; r < kReaders; ++r) {
    int snapshots = 0, seededSeen = 0;
    for (const std::string& l : lines(kyto::test::readFile(root / ("reads" + std::to_string(r))))) {
      if (l == "---") {
        EXPECT_EQ(seededSeen, kSeededClients) << "snapshot " << snapshots;
        ++snapshots;
        seededSeen = 0;
        continue;
      }
      EXPECT_TRUE(std::regex_match(l, line)) << l;
      if (l.find("|02:00:00:00:ff:") != std::string::npos) ++seededSeen;
    }
    EXPECT_EQ(snapshots, kReadsPerReader);
  }
}

// An editor saves by writing a copy and renaming it over the list. Adds beside such saves write
// the list of that name every time: no file of another name appears.
TEST(Concurrency, AddsBesideAnEditorsSavesWriteNoOtherFile) {
  StagedRoot root;
  root.makeConfigDir();
  kyto::test::writeFile(root.paths().clientsXml, kyto::test::clientList(200));
  const std::string dir = root.paths().configDir;
  // The editor stops at its next turn once told to, so that no cp of it outlives the test's
  // look at the directory (killing the shell would leave a cp running).
  const std::string stop = root / "stop-editing";
  const pid_t editor =
      startShell("while [ ! -e '" + stop + "' ]; do cp '" + dir + "clients.xml' '" + dir +
                     ".edit' && mv '" + dir + ".edit' '" + dir + "clients.xml'; done",
                 root.path());
  std::ostringstream adds;
  adds << "set -e\n";
  for (int c = 0; c < 100; ++c) adds << "\"$CLIENTADM\" add -m " << mac(0xee, c) << "\n";
  EXPECT_EQ(waitFor(startShell(adds.str(), root.path())), 0);
  kyto::test::writeFile(stop, "");
  waitFor(editor);
  std::filesystem::remove(dir + ".edit");
  // The list, its lock, and the directory of its history.
  EXPECT_EQ(kyto::test::listDir(dir),
            (std::vector<std::string>{"clients.history", "clients.lock", "clients.xml"}));
}

}  // namespace
