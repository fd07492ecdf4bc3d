#include "common/client_list_lock.h"

#include <fcntl.h>

#include <cerrno>

#include "common/exclusive_lock.h"

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
  if (const int failed = waitForExclusiveLock(fd.get()); failed != 0) {
    *error = failed;
    return UniqueFd();
  }
  return fd;
}

}  // namespace kyto
