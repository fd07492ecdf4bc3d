// Exclusive flocks waited for a bounded time: the way readers and writers of the client list, and
// writers of the custom trees, take turns.
#pragma once

#include <chrono>
#include <string>

#include "common/descriptors.h"

namespace kyto {

// How long a program waits for a lock that another process holds before it gives up. Read access
// to a lock file is enough to take its lock, so without a limit anyone who may read it could stop
// every writer, and the web UI with them, for ever.
inline constexpr std::chrono::milliseconds kLockWaitLimit{10'000};

// Waits up to limit for an exclusive flock on fd; a signal that interrupts the wait does not end
// it. Returns 0 once the lock is held, EWOULDBLOCK when another process still held it at the
// limit, else the errno value.
int lockExclusively(int fd, std::chrono::milliseconds limit = kLockWaitLimit);

// The exclusive lock that serializes every read and rewrite of the client access list between
// processes: the library's Read, Add and Del, and clientadm check. The lock file holds no data and
// is never written: it is created 0644 when missing whatever the umask, never truncated, never
// opened through a link (ELOOP), and opened without blocking, so a FIFO in its place can't hold
// the caller; read access to an existing file is enough. The lock is waited for up to
// kLockWaitLimit (EWOULDBLOCK past it). Closing the descriptor on destruction gives the lock up,
// so declare it before anything that must be released first.
class ClientListLock {
 public:
  // With a failureMessage, a lock that can't be taken is said on standard error as
  // "<failureMessage>(<errno>): <text>"; without one the caller reports error() itself.
  explicit ClientListLock(const std::string& lockPath, const char* failureMessage = nullptr);

  bool held() const { return fd_.valid(); }
  int error() const { return error_; }  // the errno value when not held

 private:
  UniqueFd fd_;
  int error_ = 0;
};

}  // namespace kyto
