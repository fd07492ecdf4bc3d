#include "agent_output.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <new>

namespace kyto::clientadm {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunkSize = 64 * 1024;

// Milliseconds left until the deadline for poll, rounded up so that poll never returns early.
int millisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

enum class ReadStep { More, End, TimeUp };

// One read of at most `most` bytes; End once nothing more is to come (end of file or an error),
// TimeUp when the deadline came first.
ReadStep readSome(int fd, Clock::time_point deadline, std::size_t most, std::string& output) {
  int wait = millisecondsUntil(deadline);
  if (wait == 0) return ReadStep::TimeUp;
  pollfd ready{fd, POLLIN, 0};
  int polled = poll(&ready, 1, wait);
  if (polled < 0) return errno == EINTR ? ReadStep::More : ReadStep::End;
  if (polled == 0) return ReadStep::TimeUp;
  char chunk[kChunkSize];
  ssize_t n = read(fd, chunk, std::min(most, sizeof chunk));
  if (n < 0) return errno == EINTR || errno == EAGAIN ? ReadStep::More : ReadStep::End;
  if (n == 0) return ReadStep::End;
  output.append(chunk, static_cast<std::size_t>(n));
  return ReadStep::More;
}

}  // namespace

AgentOutput readAgentOutput(int fd, Clock::time_point deadline, std::size_t cap) {
  AgentOutput output;
  try {
    ReadStep step = ReadStep::More;
    while (step == ReadStep::More && output.text.size() < cap)
      step = readSome(fd, deadline, cap - output.text.size(), output.text);
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
