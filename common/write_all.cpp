#include "common/write_all.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kyto {

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
