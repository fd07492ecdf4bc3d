// Waiting, for a bounded time, for an exclusive flock: the way readers and writers of the client
// list and writers of the custom trees take turns.
#pragma once

#include <chrono>

namespace kyto {

// How long a program waits for a lock that another process holds before it gives up. Read access
// to a lock file is enough to take its lock, so without a limit anyone who may read it could stop
// every writer, and the web UI with them, for ever.
inline constexpr std::chrono::milliseconds kLockWaitLimit{10'000};

// Waits up to limit for an exclusive flock on fd; a signal that interrupts the wait does not end
// it. Returns 0 once the lock is held, EWOULDBLOCK when another process still held it at the
// limit, else the errno value.
int lockExclusively(int fd, std::chrono::milliseconds limit = kLockWaitLimit);

}  // namespace kyto
