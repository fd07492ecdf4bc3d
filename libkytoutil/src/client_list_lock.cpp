#include "client_list_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>

#include <string>

#include "common/appliance_paths.h"

namespace kyto::util {

namespace {

constexpr mode_t kLockFileMode = 0644;

void reportLockFailure(int error) {
  fprintf(stderr, "Lock file failed(%d): %s\n", error, strerror(error));
}

int lockExclusively(int fd) {
  int rc;
  do {
    rc = flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

}  // namespace

ClientListLock::ClientListLock() {
  // The lock file is used by its own path, not through GetUPnPConfig; it holds no data and is
  // never written, so taking the lock needs only read access to an existing file. A link there
  // is refused (ELOOP) rather than followed to a file it would create, and nothing is truncated.
  // Without blocking, so that a FIFO in its place can't hold the caller.
  const std::string& path = kyto::paths::appliancePaths().clientsLock;
  UniqueFd fd(
      open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kLockFileMode));
  if (!fd.valid()) {
    reportLockFailure(errno);
    return;
  }
  if (lockExclusively(fd.get()) != 0) {
    reportLockFailure(errno);
    return;
  }
  fd_ = std::move(fd);
}

}  // namespace kyto::util
