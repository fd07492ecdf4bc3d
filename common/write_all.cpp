#include "common/write_all.h"

#include <unistd.h>

#include <cerrno>

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

}  // namespace kyto
