#include "common/client_list_lock.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "common/exclusive_lock.h"

namespace kyto {

namespace {

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

}  // namespace

UniqueFd lockClientList(const std::string& lockPath, int* error) {
  UniqueFd fd = openLockFile(lockPath);
  if (!fd.valid()) {
    *error = errno;
    return fd;
  }
  if (const int failed = lockExclusively(fd.get()); failed != 0) {
    *error = failed;
    return UniqueFd();
  }
  return fd;
}

}  // namespace kyto
