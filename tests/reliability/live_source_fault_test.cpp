// Broken live sources of list: a client cache segment that is too small or unreadable, and an
// agent that floods its output, never exits or leaves a child behind. list still prints what it
// can, with status 0, within the agent read deadline (10 s from the agent's start), says on
// standard error when it cut the agent's output, and ends the agent's whole process group.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "common/appliance_paths.h"
#include "staged_root.h"

namespace {

using kyto::test::clientList;
using kyto::test::clientListing;
using kyto::test::ProgramResult;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

constexpr int kStored = 2;

class LiveSourceFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(root_ / "etc/config/kytomediasvr/clients.xml", clientList(kStored));
  }

  // Runs a shell script in a fresh IPC namespace; $DMS, $SHM_MODE and $CLIENTADM name the tools.
  ProgramResult inPrivateIpc(const std::string& script) {
    return root_.run({"/usr/bin/unshare", "--ipc", "/bin/sh", "-c", script},
                     {"DMS=" KYTO_DMSCACHE_TOOL, "SHM_MODE=" KYTO_SHM_MODE_TOOL,
                      "CLIENTADM=" KYTO_CLIENTADM_PATH});
  }

  void installAgent(const std::string& script) {
    const std::string path = root_ / "mnt/ext/opt/VELD/bin/halyard";
    writeFile(path, script);
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  }

  StagedRoot root_;
};

TEST_F(LiveSourceFaults, ASegmentTooSmallIsPassedOver) {
  const ProgramResult r = inPrivateIpc("\"$DMS\" create-small 100 && exec \"$CLIENTADM\" list");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, clientListing(kStored));
  EXPECT_EQ(r.err, "");
}

// Root reads any segment through CAP_IPC_OWNER, so the second list runs without that capability.
TEST_F(LiveSourceFaults, AnUnreadableSegmentIsPassedOver) {
  if (root_.run({"setpriv", "--bounding-set=-ipc_owner", "/bin/true"}).exitStatus != 0)
    GTEST_SKIP() << "cannot drop CAP_IPC_OWNER with setpriv: root would read the segment anyway";
  const ProgramResult r = inPrivateIpc(
      "echo '0 10.0.0.9 02:00:00:00:00:99' | \"$DMS\" set - && \"$SHM_MODE\" 0 &&"
      " \"$CLIENTADM\" list && echo --- &&"
      " exec setpriv --bounding-set=-ipc_owner \"$CLIENTADM\" list");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, clientListing(kStored) + "0|02:00:00:00:00:99|10.0.0.9|||-1||1\n---\n" +
                       clientListing(kStored));
  EXPECT_EQ(r.err, "");
}

// The segment is the daemon's: list never creates it (ipcs sees none after list, one after the
// stand-in daemon made it), and reads it attached read-only, so a segment the reader may not
// write (0444, without CAP_IPC_OWNER) is still listed.
TEST_F(LiveSourceFaults, TheReaderNeitherCreatesNorWritesTheSegment) {
  char countSegments[64];  // ipcs names the segment by its key in 8 hexadecimal digits
  std::snprintf(countSegments, sizeof countSegments, " ipcs -m | grep -ci 0x%08x;",
                kyto::paths::kDmsClientCacheKey);
  ProgramResult r = inPrivateIpc(std::string("\"$CLIENTADM\" list;") + countSegments +
                                 " \"$DMS\" clear;" + countSegments);
  EXPECT_EQ(r.out, clientListing(kStored) + "0\n1\n");
  EXPECT_EQ(r.err, "");

  if (root_.run({"setpriv", "--bounding-set=-ipc_owner", "/bin/true"}).exitStatus != 0)
    GTEST_SKIP() << "cannot drop CAP_IPC_OWNER with setpriv: root would write the segment anyway";
  r = inPrivateIpc(
      "echo '0 10.0.0.9 02:00:00:00:00:99' | \"$DMS\" set - && \"$SHM_MODE\" 0444 &&"
      " exec setpriv --bounding-set=-ipc_owner \"$CLIENTADM\" list");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, clientListing(kStored) + "0|02:00:00:00:00:99|10.0.0.9|||-1||1\n");
  EXPECT_EQ(r.err, "");
}

// 1600 devices of exactly 64 KiB each after a 7-byte "<root>\n": 100 MiB in all, of which list
// reads its 16 MiB cap, that is 256 devices, the last of them cut in its padding, and says so:
// the 255 whole ones are listed.
TEST_F(LiveSourceFaults, An100MBAgentOutputIsCutAt16MiBAndParsedAsFarAsItGoes) {
  installAgent(
      "#!/bin/sh\n"
      "exec awk 'BEGIN { pad = \"x\"; while (length(pad) < 65477) pad = pad pad;\n"
      "  pad = substr(pad, 1, 65477); printf \"<root>\\n\";\n"
      "  for (i = 0; i < 1600; i++) printf \"<device><mac>02:00:00:01:%02x:%02x</mac>"
      "<type>%s</type></device>\\n\", int(i / 256), i % 256, pad }'\n");
  std::string devices;
  for (int i = 0; i < 255; ++i) {
    char line[40];
    snprintf(line, sizeof line, "0|02:00:00:01:00:%02x||||-1||2\n", i);
    devices += line;
  }
  const ProgramResult r = root_.run({"clientadm", "list"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, clientListing(kStored) + devices);
  EXPECT_EQ(
      r.err,
      "Warning: the agent's output was cut at its 16 MiB size cap; the devices before the cut "
      "are listed\n");
}

// A fault before the cut ended the listing first: the fault, not the cut, is said.
TEST_F(LiveSourceFaults, AFaultBeforeTheCutIsWhatIsSaid) {
  installAgent(
      "#!/bin/sh\n"
      "printf '<root><device><mac>02:00:00:01:00:01</mac></device><device a=\"\\000\"/>'\n"
      "head -c 17000000 /dev/zero | tr '\\000' x\n");
  const ProgramResult r = root_.run({"clientadm", "list"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, clientListing(kStored) + "0|02:00:00:01:00:01||||-1||2\n");
  EXPECT_EQ(r.err,
            "Warning: the agent's output is not well-formed XML (line 1: not well-formed (invalid "
            "token)); the devices before that point are listed\n");
}

// The one slow test: list waits out the read deadline, says so, and the agent is killed.
TEST_F(LiveSourceFaults, AnAgentThatNeverExitsIsCutOffAndKilled) {
  installAgent(
      "#!/bin/sh\n"
      "echo $$ > \"$KYTO_ROOT/agent.pid\"\n"
      "printf '<root><device><mac>02:00:00:01:00:01</mac><ip>10.0.0.1</ip></device>'\n"
      "exec sleep 600\n");
  const auto start = std::chrono::steady_clock::now();
  const ProgramResult r = root_.run({"clientadm", "list"});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, clientListing(kStored) + "0|02:00:00:01:00:01|10.0.0.1|||-1||2\n");
  EXPECT_EQ(
      r.err,
      "Warning: the agent's output was cut at its 10 s time limit; the devices before the cut "
      "are listed\n");
  // The 10 s deadline, with ample room for a slow machine or a memory checker.
  EXPECT_LT(elapsed, std::chrono::seconds(40));
  const pid_t agent = std::stoi(kyto::test::readFile(root_ / "agent.pid"));
  EXPECT_TRUE(kill(agent, 0) != 0 && errno == ESRCH) << "the agent still runs";
}

// Whether a process has ended: gone, or a zombie that its new parent has yet to reap.
bool hasEnded(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto state = line.rfind(") ");
  return state != std::string::npos && line.compare(state + 2, 1, "Z") == 0;
}

bool endsSoon(pid_t pid) {
  for (int i = 0; i < 500 && !hasEnded(pid); ++i) usleep(10 * 1000);
  return hasEnded(pid);
}

// A Ctrl-C at the terminal reaches list but not the agent, which leads a group of its own: each
// signal that ends list ends the agent and what it started first.
TEST_F(LiveSourceFaults, ASignalThatEndsListEndsTheAgentFirst) {
  installAgent(
      "#!/bin/sh\n"
      "sleep 1000 </dev/null 2>/dev/null &\n"
      "echo $! > \"$KYTO_ROOT/child.pid\"\n"
      "echo $$ > \"$KYTO_ROOT/agent.new\"\n"
      "mv \"$KYTO_ROOT/agent.new\" \"$KYTO_ROOT/agent.pid\"\n"
      "exec sleep 1000\n");
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    std::filesystem::remove(root_ / "agent.pid");
    const std::string program = KYTO_CLIENTADM_PATH;
    const std::string rootVariable = "KYTO_ROOT=" + root_.path();
    const char* argv[] = {program.c_str(), "list", nullptr};
    char* envp[] = {const_cast<char*>(rootVariable.c_str()), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t list = -1;
    ASSERT_EQ(posix_spawn(&list, argv[0], &quiet, nullptr, const_cast<char**>(argv), envp), 0);
    posix_spawn_file_actions_destroy(&quiet);
    for (int i = 0; i < 500 && !kyto::test::fileExists(root_ / "agent.pid"); ++i) usleep(10 * 1000);
    ASSERT_TRUE(kyto::test::fileExists(root_ / "agent.pid"));
    const pid_t agent = std::stoi(kyto::test::readFile(root_ / "agent.pid"));
    const pid_t child = std::stoi(kyto::test::readFile(root_ / "child.pid"));
    ASSERT_EQ(kill(list, signal), 0);
    int status = 0;
    ASSERT_EQ(waitpid(list, &status, 0), list);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(endsSoon(agent)) << "the agent still runs";
    EXPECT_TRUE(endsSoon(child)) << "the agent's child still runs";
    kill(agent, SIGKILL);
    kill(child, SIGKILL);
  }
}

// Out of descriptors, list lists what it can and says which source it could not read, rather
// than pass an unread source off as an empty one.
TEST_F(LiveSourceFaults, ASourceThatCanNotBeReadForWantOfDescriptorsIsSaid) {
  installAgent("#!/bin/sh\necho '<root/>'\n");
  int errors[2];
  ASSERT_EQ(pipe(errors), 0);
  const pid_t list = fork();
  if (list == 0) {
    dup2(errors[1], STDERR_FILENO);
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    closefrom(3);  // what the test runner passes on would take the few the limit leaves
    const rlimit four{4, 4};
    setrlimit(RLIMIT_NOFILE, &four);
    setenv("KYTO_ROOT", root_.path().c_str(), 1);
    execl(KYTO_CLIENTADM_PATH, "clientadm", "list", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(errors[1]);
  std::string err;
  char chunk[4096];
  for (ssize_t n; (n = read(errors[0], chunk, sizeof chunk)) > 0;) err.append(chunk, n);
  close(errors[0]);
  int status = 0;
  ASSERT_EQ(waitpid(list, &status, 0), list);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string why = strerror(EMFILE);
  EXPECT_EQ(err, "clientadm: the stored client list could not be read (" + why +
                     "): no stored client is listed\nclientadm: the DMC agent could not be "
                     "started (" +
                     why + "): no device of its search cache is listed\n");
}

// A child the agent leaves behind holds its output open: list reads on only until the agent has
// exited, and ends the child with the agent's process group.
TEST_F(LiveSourceFaults, AChildTheAgentLeavesBehindEndsWithIt) {
  installAgent(
      "#!/bin/sh\n"
      "printf '<root><device><mac>02:00:00:01:00:01</mac></device></root>'\n"
      "sleep 1000 </dev/null 2>/dev/null &\n"
      "echo $! > \"$KYTO_ROOT/child.pid\"\n");
  const ProgramResult r = root_.run({"clientadm", "list"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, clientListing(kStored) + "0|02:00:00:01:00:01||||-1||2\n");
  EXPECT_EQ(r.err, "");
  const pid_t child = std::stoi(kyto::test::readFile(root_ / "child.pid"));
  const bool gone = kill(child, 0) != 0 && errno == ESRCH;
  EXPECT_TRUE(gone) << "the agent's child still runs";
  if (!gone) kill(child, SIGKILL);
}

}  // namespace
