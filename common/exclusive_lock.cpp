#include "common/exclusive_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

constexpr mode_t kLockFileMode = 0644;
constexpr int kLockFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Opens the lock file, creating it when missing with kLockFileMode whatever the umask: a lock
// file that only its creator may read would lock every other user out of the list. Only a file
// this call created is given its mode; an existing one is left as it is.
UniqueFd openLockFile(const std::string& lockPath) {
  for (;;) {
    UniqueFd fd(open(lockPath.c_str(), kLockFileFlags));
    struct stat st;
    if (fd.valid() && fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode)) {
      errno = EISDIR;  // what opening it to create it would say
      return UniqueFd();
    }
    if (fd.valid() || errno != ENOENT) return fd;
    fd = UniqueFd(open(lockPath.c_str(), kLockFileFlags | O_CREAT | O_EXCL, kLockFileMode));
    if (fd.valid()) {
      fchmod(fd.get(), kLockFileMode);  // best effort: the lock works all the same
      return fd;
    }
    if (errno != EEXIST) return fd;  // else another process created it meanwhile
  }
}

// One try, without waiting: 0, or the errno value of the failure.
int tryLock(int fd) {
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

int lockExclusively(int fd, std::chrono::milliseconds limit) {
  // The lock is nearly always free: the clock is read only when it is not, since a process's
  // first clock read costs it page faults.
  if (const int error = tryLock(fd); error != EWOULDBLOCK) return error;
  const Clock::time_point deadline = Clock::now() + limit;
  std::chrono::microseconds next{250};
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return EWOULDBLOCK;
    pause(std::min(next, left));
    next = std::min<std::chrono::microseconds>(next * 2, kLongestPause);
    if (const int error = tryLock(fd); error != EWOULDBLOCK) return error;
  }
}

ClientListLock::ClientListLock(const std::string& lockPath, const char* failureMessage) {
  UniqueFd fd = openLockFile(lockPath);
  error_ = !fd.valid() ? errno : lockExclusively(fd.get());
  if (error_ == 0) {
    fd_ = std::move(fd);
  } else if (failureMessage != nullptr) {
    std::fprintf(stderr, "%s(%d): %s\n", failureMessage, error_, std::strerror(error_));
  }
}

}  // namespace kyto
