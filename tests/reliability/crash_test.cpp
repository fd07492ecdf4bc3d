// clientadm add killed with SIGKILL at random moments of its rewrite: the list must afterwards
// parse and hold either the old or the new content, never a mix or nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "staged_root.h"

namespace {

using kyto::test::StagedRoot;

const std::string kClientadm = KYTO_CLIENTADM_PATH;
constexpr int kStoredClients = 5000;
constexpr int kKills = 40;

std::string storedList(int count) {
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTS>\n";
  for (int i = 0; i < count; ++i) {
    char mac[18];
    snprintf(mac, sizeof mac, "02:00:00:%02x:%02x:%02x", i >> 16 & 0xff, i >> 8 & 0xff, i & 0xff);
    xml << "  <CLIENT MAC=\"" << mac << "\" USER_PROFILE=\"1\"/>\n";
  }
  xml << "</UPNP_CLIENTS>\n";
  return xml.str();
}

size_t countLines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(CrashSafety, KilledAddLeavesOldOrNewList) {
  StagedRoot root;
  const std::string clients = root.paths().clientsXml;
  kyto::test::writeFile(clients, storedList(kStoredClients));
  const std::string env = "KYTO_ROOT=" + root.path();
  // Kill moments spread over one whole uncontended run, so rounds land before, during and after
  // the rewrite.
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(root.run({kClientadm, "add", "-m", "0b:00:00:00:00:00"}).exitStatus, 0);
  auto runMicros = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::mt19937 random(20261208);
  std::uniform_int_distribution<long> delayMicros(0, runMicros.count() * 3 / 2);

  size_t expected = kStoredClients + 1;
  int completed = 0;
  long newestNumber = 1;  // the first add's version
  for (int round = 0; round < kKills; ++round) {
    char newMac[18];
    snprintf(newMac, sizeof newMac, "0a:00:00:00:00:%02x", round);
    const char* argv[] = {kClientadm.c_str(), "add", "-m", newMac, "-p", "2", nullptr};
    char* envp[] = {const_cast<char*>(env.c_str()), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), envp), 0);
    usleep(static_cast<useconds_t>(delayMicros(random)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    bool finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    completed += finished;

    // The list must parse and hold the old clients, plus the new one only if it was written.
    auto listed = root.run({kClientadm, "list"});
    ASSERT_EQ(listed.exitStatus, 0);
    size_t rows = countLines(listed.out);
    bool hasNew = listed.out.find(std::string("|") + newMac + "|") != std::string::npos;
    ASSERT_TRUE(rows == expected + (hasNew ? 1 : 0))
        << "round " << round << ": " << rows << " rows";
    ASSERT_FALSE(finished && !hasNew) << "round " << round << ": a completed add was lost";
    // The history reads and holds the newest change exactly when the list holds it, with the
    // list it replaced whole; no change shows as a hand edit.
    auto history = root.run({kClientadm, "history"});
    ASSERT_EQ(history.exitStatus, 0) << history.err;
    const std::string newest = history.out.substr(0, history.out.find('\n'));
    const bool newestIsThisAdd =
        newest.find(std::string("|add ") + newMac + "|") != std::string::npos;
    ASSERT_EQ(newestIsThisAdd, hasNew) << "round " << round << ":\n" << history.out;
    ASSERT_EQ(history.out.find("|edit|"), std::string::npos) << history.out;
    if (hasNew) {
      // Numbers only grow: one that a change cut off took is not given again.
      const long number = std::stol(newest);
      ASSERT_GT(number, newestNumber) << history.out;
      newestNumber = number;
      const std::string kept =
          root.paths().configDir + "clients.history/version-" + std::to_string(number) + ".xml";
      ASSERT_EQ(countLines(kyto::test::readFile(kept)), expected + 3) << "round " << round;
    }
    expected = rows;
  }
  // The random delays must have caught the program both before and after its write.
  RecordProperty("completed", completed);
  EXPECT_GT(expected, static_cast<size_t>(kStoredClients + 1));
  EXPECT_LT(completed, kKills);
}

}  // namespace
