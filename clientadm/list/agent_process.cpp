#include "agent_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <iterator>
#include <new>

#include "common/descriptors.h"

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

  // The agent's process id, or -1 when it could not be started, with *error saying why.
  pid_t start(const std::vector<std::string>& argv, int* error) {
    *error = ENOMEM;
    if (!ready_ || argv.empty()) return -1;
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& word : argv) pointers.push_back(const_cast<char*>(word.c_str()));
    pointers.push_back(nullptr);
    pid_t pid = -1;
    // glibc reports a program that can't be run here, having reaped its child.
    *error = posix_spawn(&pid, pointers[0], &actions_, &attributes_, pointers.data(), environ);
    return *error == 0 ? pid : -1;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  bool ready_ = false;
};

// The agent's process group while it runs, for the handlers below; 0 when there is none.
volatile sig_atomic_t g_agentGroup = 0;

constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// The agent leads a group of its own, so a Ctrl-C at the terminal never reaches it, and a signal
// that ends list would leave it running under init for ever: the group ends first.
void endAgentGroupThenDie(int signal) {
  const pid_t group = g_agentGroup;
  if (group > 0) kill(-group, SIGKILL);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(signal, &byDefault, nullptr);
  raise(signal);  // delivered once the handler returns, with the default action: list ends
}

// While it lives, the signals that end list end the agent's group first. They are blocked while
// the agent is started and its group recorded, so none falls between the two. A signal the
// caller ignores stays ignored.
class AgentGroupGuard {
 public:
  AgentGroupGuard() {
    sigemptyset(&ending_);
    for (const int signal : kEndingSignals) sigaddset(&ending_, signal);
    sigprocmask(SIG_BLOCK, &ending_, &savedMask_);
    struct sigaction handler {};
    handler.sa_handler = endAgentGroupThenDie;
    sigemptyset(&handler.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], nullptr, &saved_[i]);
      if (saved_[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &handler, nullptr);
    }
  }
  ~AgentGroupGuard() {
    sigprocmask(SIG_BLOCK, &ending_, nullptr);
    g_agentGroup = 0;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &saved_[i], nullptr);
    sigprocmask(SIG_SETMASK, &savedMask_, nullptr);
  }
  AgentGroupGuard(const AgentGroupGuard&) = delete;
  AgentGroupGuard& operator=(const AgentGroupGuard&) = delete;

  // The agent has started (or not, or is ended): from now on a signal ends this group.
  void started(pid_t group) {
    g_agentGroup = group > 0 ? group : 0;
    sigprocmask(SIG_SETMASK, &savedMask_, nullptr);
  }

 private:
  sigset_t ending_;
  sigset_t savedMask_;
  struct sigaction saved_[std::size(kEndingSignals)];
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
  if (pipe2(fds, O_CLOEXEC) != 0) {
    run.error = errno;
    return run;
  }
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  AgentGroupGuard guard;
  int error = 0;
  const pid_t agent = AgentSpawn(writeEnd.get()).start(argv, &error);
  guard.started(agent);
  writeEnd.close();
  if (agent < 0) {
    run.error = error;
    return run;
  }
  run.started = true;
  run.output = readAgentOutput(readEnd.get(), deadline, cap, agent);
  readEnd.close();
  // The leader is not reaped yet, so its group can't have been taken by another process; once
  // it is, the handlers must no longer name the group.
  kill(-agent, SIGKILL);
  guard.started(-1);
  reapGroup(agent);
  return run;
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::size_t kGrowUntil = 1024 * 1024;
// How often the read looks whether the writer has exited while its pipe stays silent.
constexpr std::chrono::milliseconds kExitCheckInterval{20};

// Milliseconds left until the deadline for poll, rounded up so that poll never returns early,
// and with a writer to watch at most kExitCheckInterval.
int millisecondsUntil(Clock::time_point deadline, bool watchingWriter) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  const decltype(left) most = watchingWriter ? kExitCheckInterval.count() : INT_MAX;
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, most));
}

enum class ReadStep { More, End, TimeUp };

// One read of at most `most` bytes; End once nothing more is to come (end of file or an error).
ReadStep readChunk(int fd, std::size_t most, std::string& output) {
  char chunk[kChunkSize];
  ssize_t n = read(fd, chunk, std::min(most, sizeof chunk));
  if (n < 0) return errno == EINTR || errno == EAGAIN ? ReadStep::More : ReadStep::End;
  if (n == 0) return ReadStep::End;
  // A large output gets the room of the whole cap at once, which only what is written of it
  // takes up: it is never copied again as it grows.
  if (output.size() + static_cast<std::size_t>(n) > kGrowUntil &&
      output.capacity() < kAgentOutputCap)
    output.reserve(kAgentOutputCap);
  output.append(chunk, static_cast<std::size_t>(n));
  return ReadStep::More;
}

// Waits for output, then reads it; TimeUp when the deadline came first. With watchingWriter, a
// wait that ends early with nothing to read gives More, so that the writer is looked at.
ReadStep readSome(int fd, Clock::time_point deadline, std::size_t most, bool watchingWriter,
                  std::string& output) {
  int wait = millisecondsUntil(deadline, watchingWriter);
  if (wait == 0) return ReadStep::TimeUp;
  pollfd ready{fd, POLLIN, 0};
  int polled = poll(&ready, 1, wait);
  if (polled < 0) return errno == EINTR ? ReadStep::More : ReadStep::End;
  if (polled == 0) return watchingWriter ? ReadStep::More : ReadStep::TimeUp;
  return readChunk(fd, most, output);
}

bool hasExited(pid_t child) {
  for (;;) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
      return info.si_pid == child;
    }
    if (errno != EINTR) return true;  // not a child (any more): nothing to wait for
  }
}

// What the pipe holds now, up to the cap: all the writer wrote before it exited.
void readWhatIsPending(int fd, std::size_t cap, std::string& output) {
  int pending = 0;
  if (ioctl(fd, FIONREAD, &pending) != 0) return;
  const std::size_t last = std::min(cap, output.size() + static_cast<std::size_t>(pending));
  while (output.size() < last && readChunk(fd, last - output.size(), output) == ReadStep::More) {
  }
}

}  // namespace

AgentOutput readAgentOutput(int fd, Clock::time_point deadline, std::size_t cap, pid_t writer) {
  AgentOutput output;
  const bool watchingWriter = writer > 0;
  try {
    ReadStep step = ReadStep::More;
    while (step == ReadStep::More && output.text.size() < cap) {
      if (watchingWriter && hasExited(writer)) {
        readWhatIsPending(fd, cap, output.text);
        step = ReadStep::End;
        break;
      }
      step = readSome(fd, deadline, cap - output.text.size(), watchingWriter, output.text);
    }
    if (step == ReadStep::TimeUp) {
      output.cut = OutputCut::AtTimeLimit;
    } else if (output.text.size() >= cap) {
      output.cut = OutputCut::AtSizeCap;
    }
  } catch (const std::bad_alloc&) {
    // What fitted in memory is still worth listing.
  }
  return output;
}

}  // namespace kyto::clientadm
