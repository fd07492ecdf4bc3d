#include "agent_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "agent_output.h"
#include "common/unique_fd.h"

extern char** environ;

namespace kyto::clientadm {

namespace {

// What the agent is started with: its standard output on the pipe, leading a group of its own,
// no signal blocked, and the default SIGPIPE action, so that it ends rather than loops once list
// stops reading.
class AgentSpawn {
 public:
  explicit AgentSpawn(int output) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    sigset_t none, pipeOnly;
    sigemptyset(&none);
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    ready_ = posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO) == 0 &&
             posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
             posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
             posix_spawnattr_setsigdefault(&attributes_, &pipeOnly) == 0 &&
             posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                        POSIX_SPAWN_SETSIGDEF) == 0;
  }
  ~AgentSpawn() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  AgentSpawn(const AgentSpawn&) = delete;
  AgentSpawn& operator=(const AgentSpawn&) = delete;

  // The agent's process id, or -1 when it could not be started.
  pid_t start(const std::vector<std::string>& argv) {
    if (!ready_ || argv.empty()) return -1;
    std::vector<char*> pointers;
    for (const std::string& word : argv) pointers.push_back(const_cast<char*>(word.c_str()));
    pointers.push_back(nullptr);
    pid_t pid = -1;
    // glibc reports a program that can't be run here, having reaped its child.
    if (posix_spawn(&pid, pointers[0], &actions_, &attributes_, pointers.data(), environ) != 0)
      return -1;
    return pid;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  bool ready_ = false;
};

// Waits for every member of the group that is clientadm's child: the leader, and the members
// whose parent died meanwhile, which come to clientadm as their subreaper.
void reapGroup(pid_t group) {
  for (;;) {
    int status = 0;
    if (waitpid(-group, &status, 0) < 0 && errno != EINTR) return;
  }
}

}  // namespace

AgentRun runInOwnProcessGroup(const std::vector<std::string>& argv,
                              std::chrono::steady_clock::time_point deadline, std::size_t cap) {
  AgentRun run;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return run;
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const pid_t agent = AgentSpawn(writeEnd.get()).start(argv);
  writeEnd.close();
  if (agent < 0) return run;
  run.started = true;
  run.output = readAgentOutput(readEnd.get(), deadline, cap, agent);
  readEnd.close();
  // The leader is not reaped yet, so its group can't have been taken by another process.
  kill(-agent, SIGKILL);
  reapGroup(agent);
  return run;
}

}  // namespace kyto::clientadm
