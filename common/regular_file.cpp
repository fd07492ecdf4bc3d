#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

namespace kyto {

namespace {

int notRegularError(mode_t mode) {
  if (S_ISREG(mode)) return 0;
  return S_ISDIR(mode) ? EISDIR : EINVAL;
}

}  // namespace

int openRegularFile(const std::string& path, UniqueFd& file) {
  return openRegularFileAt(AT_FDCWD, path.c_str(), file);
}

int openRegularFileAt(int dir, const char* name, UniqueFd& file) {
  // Looking first keeps us from opening a device at all: opening one can have effects of its own.
  struct stat before;
  if (::fstatat(dir, name, &before, 0) != 0) return errno;
  if (const int error = notRegularError(before.st_mode)) return error;

  UniqueFd opened(::openat(dir, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!opened.valid()) return errno;
  struct stat after;
  if (::fstat(opened.get(), &after) != 0) return errno;
  if (const int error = notRegularError(after.st_mode)) return error;

  const int flags = ::fcntl(opened.get(), F_GETFL);
  if (flags < 0 || ::fcntl(opened.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  file = std::move(opened);
  return 0;
}

}  // namespace kyto
