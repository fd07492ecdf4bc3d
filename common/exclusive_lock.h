// Waiting for an exclusive flock, the way writers of the client list and of the custom trees take
// turns.
#pragma once

#include <sys/file.h>

#include <cerrno>

namespace kyto {

// Waits for an exclusive flock on fd; a signal that interrupts the wait does not end it. Returns 0
// once the lock is held, else the errno value.
inline int waitForExclusiveLock(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace kyto
