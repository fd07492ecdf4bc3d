// The exclusive lock that serializes every read and rewrite of the client access list between
// processes: the library's Read, Add and Del, and clientadm check.
#pragma once

#include <string>

#include "common/unique_fd.h"

namespace kyto {

// Opens the lock file and waits, at most kLockWaitLimit (exclusive_lock.h), for an exclusive flock
// on it. The file holds no data and is never written: it is created 0644 when missing whatever
// the umask, never truncated, never opened through a link (ELOOP), and opened without blocking,
// so a FIFO in its place can't hold the caller; read access to an existing file is enough.
// Returns the descriptor holding the lock, which closing gives up; on failure an invalid one,
// with *error set to the errno value (EWOULDBLOCK when another process held it past the limit).
UniqueFd lockClientList(const std::string& lockPath, int* error);

}  // namespace kyto
