#include "common/descriptors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

const char* inputProblem(int error) {
  return error == EINVAL ? "not a regular file" : std::strerror(error);
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

int readRegularFileAt(int dir, const char* name, std::size_t mostBytes, std::string& bytes) {
  UniqueFd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (const int error = notRegularError(st.st_mode)) return error;
  if (static_cast<std::uint64_t>(st.st_size) > mostBytes) return EFBIG;
  bytes.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > mostBytes) return EFBIG;
  }
}

int writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

namespace {

// The errno of the first flush of standard output that failed.
int& firstOutputError() {
  static int error = 0;
  return error;
}

}  // namespace

void flushStandardOutput() {
  errno = 0;
  if (std::fflush(stdout) != 0 && firstOutputError() == 0) firstOutputError() = errno;
}

int statusAfterOutput(int status, const char* program) {
  flushStandardOutput();
  if (std::ferror(stdout) == 0) return status;
  // A write that failed before any flush left the stream's error set but no errno to tell.
  const int error = firstOutputError();
  std::fprintf(stderr, "%s: standard output could not be written: %s\n", program,
               error != 0 ? std::strerror(error) : "write error");
  return 1;
}

}  // namespace kyto
