#include "agent_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "agent_output.h"
#include "common/brix_process.h"
#include "common/unique_fd.h"
#include "common/write_all.h"

namespace kyto::clientadm {

namespace {

using Clock = std::chrono::steady_clock;

// Exit status of the relay when the process helper gave no stream.
constexpr int kAgentNotStarted = 3;
// How often the relay looks whether the agent has exited while its output stays silent.
constexpr std::chrono::milliseconds kExitCheckInterval{20};
constexpr std::size_t kRelayChunk = 64 * 1024;

// Whether the agent, the relay's only child, has exited. It is left unreaped for brix_pclose.
bool agentExited() {
  for (;;) {
    siginfo_t info{};
    if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0) return info.si_pid != 0;
    if (errno != EINTR) return true;  // no child at all
  }
}

int pollMilliseconds(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(
      std::clamp(left, std::chrono::milliseconds{0}, kExitCheckInterval).count());
}

// Copies up to most bytes; false once nothing more is to come: end of file, error, or the
// reader gone.
bool copySome(int from, int to, std::size_t most, std::size_t& copied) {
  char chunk[kRelayChunk];
  const ssize_t n = read(from, chunk, std::min(most, sizeof chunk));
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) return false;
  copied += static_cast<std::size_t>(n);
  return writeAll(to, std::string_view(chunk, static_cast<std::size_t>(n))) == 0;
}

// Passes the agent's output on. Once the agent has exited, only what the pipe then holds is
// still read: a child the agent left behind may keep the pipe open without end.
void relayOutput(int from, int to, Clock::time_point deadline, std::size_t cap) {
  std::size_t copied = 0;
  while (copied < cap && Clock::now() < deadline) {
    if (agentExited()) {
      int pending = 0;
      if (ioctl(from, FIONREAD, &pending) != 0) return;
      const std::size_t last = std::min(cap, copied + static_cast<std::size_t>(pending));
      while (copied < last && copySome(from, to, last - copied, copied)) {
      }
      return;
    }
    pollfd ready{from, POLLIN, 0};
    const int polled = poll(&ready, 1, pollMilliseconds(deadline));
    if (polled < 0 && errno != EINTR) return;
    if (polled > 0 && !copySome(from, to, cap - copied, copied)) return;
  }
}

// The relay: leads the new group, starts the agent in it and passes its output to clientadm.
[[noreturn]] void runRelay(std::FILE* (*start)(), int to, Clock::time_point deadline,
                           std::size_t cap) {
  setpgid(0, 0);
  std::FILE* stream = nullptr;
  try {
    stream = start();
  } catch (...) {
  }
  if (stream == nullptr) _exit(kAgentNotStarted);
  relayOutput(fileno(stream), to, deadline, cap);
  // An agent that has ended is reaped by the helper as usual; one still running is ended with
  // the group, and brix_pclose must not wait for it meanwhile.
  if (agentExited()) brix_pclose(stream);
  _exit(0);
}

// Waits for every member of the group that is clientadm's child, the relay's status kept.
int reapGroup(pid_t group) {
  int relayStatus = 0;
  for (;;) {
    int status = 0;
    const pid_t reaped = waitpid(-group, &status, 0);
    if (reaped == group) relayStatus = status;
    if (reaped < 0 && errno != EINTR) return relayStatus;
  }
}

}  // namespace

AgentRun runAgentInOwnGroup(std::FILE* (*start)(), Clock::time_point deadline, std::size_t cap) {
  AgentRun run;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return run;
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  // Members whose parent has died come to clientadm rather than to init, to be reaped below.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const pid_t relay = fork();
  if (relay < 0) return run;
  if (relay == 0) {
    readEnd.close();
    runRelay(start, writeEnd.get(), deadline, cap);
  }
  // Both sides set the group, so that it exists before either relies on it.
  setpgid(relay, relay);
  writeEnd.close();
  run.output = readAgentOutput(readEnd.get(), deadline, cap);
  readEnd.close();
  kill(-relay, SIGKILL);
  const int status = reapGroup(relay);
  run.started = !(WIFEXITED(status) && WEXITSTATUS(status) == kAgentNotStarted);
  return run;
}

}  // namespace kyto::clientadm
