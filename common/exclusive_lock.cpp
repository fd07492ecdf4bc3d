#include "common/exclusive_lock.h"

#include <sys/file.h>
#include <time.h>

#include <algorithm>
#include <cerrno>

namespace kyto {

namespace {

using Clock = std::chrono::steady_clock;

// flock has no timed wait: the lock is tried again after a pause that grows to this, so that a
// short turn of another process costs little and a long one little work.
constexpr std::chrono::milliseconds kLongestPause{20};

void pause(std::chrono::microseconds length) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(length);
  timespec rest{static_cast<time_t>(seconds.count()),
                static_cast<long>((length - seconds).count() * 1000)};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace

int lockExclusively(int fd, std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  std::chrono::microseconds next{250};
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return errno;
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return EWOULDBLOCK;
    pause(std::min(next, left));
    next = std::min<std::chrono::microseconds>(next * 2, kLongestPause);
  }
}

}  // namespace kyto
