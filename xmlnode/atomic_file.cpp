#include "atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kyto::xmlnode {

namespace {

constexpr mode_t kNewFileMode = 0644;

// The temporary file: closed and removed on destruction unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : path_(temporaryPattern(target)) {
    fd_ = mkostemp(path_.data(), O_CLOEXEC);
  }
  ~TempFile() {
    closeFd();
    if (!kept_) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  void keep() { kept_ = true; }

  // Closes the descriptor; close can report a late write error, so its result counts.
  int closeFd() {
    if (fd_ < 0) return 0;
    int rc = close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  static std::string temporaryPattern(const std::string& target) {
    std::string::size_type slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + base + ".tmp-XXXXXX";
  }

  std::string path_;
  int fd_ = -1;
  bool kept_ = false;
};

int writeAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t n = write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    content.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

constexpr int kMaxLinkHops = 40;

// The file a write to path really replaces. Links are followed as an open for writing follows
// them: to the file a link names, even one that doesn't exist yet, so the link itself stays.
// Empty when the links loop.
std::string resolveTarget(const std::string& path) {
  std::string target = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    char text[PATH_MAX];
    const ssize_t n = readlink(target.c_str(), text, sizeof text);
    if (n <= 0 || static_cast<size_t>(n) == sizeof text) return target;
    // A relative link is read from the link's own directory.
    const std::string::size_type slash = target.rfind('/');
    const bool relative = text[0] != '/' && slash != std::string::npos;
    target = (relative ? target.substr(0, slash + 1) : std::string()) +
             std::string(text, static_cast<size_t>(n));
  }
  return {};
}

// Gives the new file the old one's mode and, where permitted, its owner.
int copyOwnership(int fd, const std::string& target) {
  struct stat st;
  if (stat(target.c_str(), &st) != 0) return fchmod(fd, kNewFileMode) == 0 ? 0 : errno;
  if (fchown(fd, st.st_uid, st.st_gid) != 0) {
    // Only a privileged writer may give the file away; others keep their own ownership.
  }
  return fchmod(fd, st.st_mode & 07777) == 0 ? 0 : errno;
}

void syncDirectoryOf(const std::string& target) {
  std::string::size_type slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // best effort: the rename has happened either way
  close(fd);
}

}  // namespace

int replaceFileAtomically(const std::string& path, std::string_view content) {
  const std::string target = resolveTarget(path);
  if (target.empty()) return ELOOP;
  TempFile temp(target);
  if (temp.fd() < 0) return errno;
  if (int rc = copyOwnership(temp.fd(), target); rc != 0) return rc;
  if (int rc = writeAll(temp.fd(), content); rc != 0) return rc;
  if (fsync(temp.fd()) != 0) return errno;
  if (temp.closeFd() != 0) return errno;
  if (rename(temp.path().c_str(), target.c_str()) != 0) return errno;
  temp.keep();
  syncDirectoryOf(target);
  return 0;
}

}  // namespace kyto::xmlnode
