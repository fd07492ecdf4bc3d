#include "agent_output.h"

#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <new>

namespace kyto::clientadm {

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
