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

// False once nothing more is to come before the deadline: end of file, error or time out.
bool readSome(int fd, Clock::time_point deadline, std::size_t most, std::string& output) {
  int wait = millisecondsUntil(deadline);
  if (wait == 0) return false;
  pollfd ready{fd, POLLIN, 0};
  int polled = poll(&ready, 1, wait);
  if (polled < 0) return errno == EINTR;
  if (polled == 0) return false;
  char chunk[kChunkSize];
  ssize_t n = read(fd, chunk, std::min(most, sizeof chunk));
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) return false;
  output.append(chunk, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

std::string readAgentOutput(int fd, Clock::time_point deadline, std::size_t cap) {
  std::string output;
  try {
    while (output.size() < cap && readSome(fd, deadline, cap - output.size(), output)) {
    }
  } catch (const std::bad_alloc&) {
    // What fitted in memory is still worth listing.
  }
  return output;
}

}  // namespace kyto::clientadm
