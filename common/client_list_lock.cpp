#include "common/client_list_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace kyto {

namespace {

constexpr mode_t kLockFileMode = 0644;

}  // namespace

UniqueFd lockClientList(const std::string& lockPath, int* error) {
  UniqueFd fd(open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                   kLockFileMode));
  if (!fd.valid()) {
    *error = errno;
    return fd;
  }
  int rc;
  do {
    rc = flock(fd.get(), LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    *error = errno;
    return UniqueFd();
  }
  return fd;
}

}  // namespace kyto
