#include "corrupt_backup.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string_view>

#include "common/regular_file.h"
#include "common/unique_fd.h"
#include "common/write_all.h"

namespace kyto::util {

namespace {

constexpr int kMaxBackupsPerSecond = 100;

std::string utcTimestamp() {
  time_t now = time(nullptr);
  struct tm utc;
  char text[32];
  if (gmtime_r(&now, &utc) == nullptr || strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc) == 0)
    return "unknown-time";
  return text;
}

// Creates a backup file under a name nobody uses yet; sets name to it.
UniqueFd createUnusedBackup(const std::string& path, mode_t mode, std::string& name) {
  const std::string base = path + ".corrupt-" + utcTimestamp();
  for (int n = 0; n < kMaxBackupsPerSecond; ++n) {
    name = n == 0 ? base : base + "-" + std::to_string(n);
    UniqueFd fd(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.valid() || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

bool copyContent(int from, int to) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (writeAll(to, std::string_view(buffer, static_cast<size_t>(n))) != 0) return false;
  }
}

}  // namespace

bool keepCorruptFile(const std::string& path, std::string* backupName) {
  // Only a regular file is copied: a FIFO would hold the lock for ever and a device such as
  // /dev/zero would fill the disk.
  UniqueFd source;
  if (const int error = openRegularFile(path, source); error != 0)
    return error == ENOENT;  // nothing to keep
  struct stat st;
  if (fstat(source.get(), &st) != 0) return false;
  std::string name;
  UniqueFd backup = createUnusedBackup(path, st.st_mode & 0666, name);
  if (!backup.valid()) return false;
  bool copied = copyContent(source.get(), backup.get()) && fsync(backup.get()) == 0;
  if (backup.close() == 0 && copied) {
    *backupName = name;
    return true;
  }
  unlink(name.c_str());
  return false;
}

}  // namespace kyto::util
