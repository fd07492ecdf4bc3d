#include "common/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/unique_fd.h"
#include "common/write_all.h"

namespace kyto {

namespace {

constexpr mode_t kNewFileMode = 0644;
// As many links as the kernel follows in one lookup.
constexpr int kMaxLinkHops = 40;

std::string directoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name the kernel gives an open descriptor: its resolved path.
int pathOfDescriptor(int fd, std::string& path) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char text[PATH_MAX];
  const ssize_t n = readlink(link, text, sizeof text);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof text) return n < 0 ? errno : ENAMETOOLONG;
  path.assign(text, static_cast<size_t>(n));
  return 0;
}

// An existing file: the kernel resolves the whole path at once.
int resolveExisting(int fd, std::string& target) {
  return pathOfDescriptor(fd, target);
}

// A file still to be created: its directory is resolved by the kernel, its name kept.
int resolveNew(const std::string& path, std::string& target) {
  const std::string name = baseNameOf(path);
  if (name.empty() || name == "." || name == "..") return EISDIR;
  UniqueFd dir(open(directoryOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return errno;
  std::string dirPath;
  if (int rc = pathOfDescriptor(dir.get(), dirPath); rc != 0) return rc;
  target = dirPath == "/" ? "/" + name : dirPath + "/" + name;
  return 0;
}

int resolveHop(const std::string& path, std::string& target, int hopsLeft) {
  UniqueFd fd(open(path.c_str(), O_PATH | O_CLOEXEC));
  if (fd.valid()) return resolveExisting(fd.get(), target);
  if (errno != ENOENT) return errno;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? resolveNew(path, target) : errno;
  // Not a link: the file appeared after the open failed (another writer renamed it into place),
  // so look again.
  if (!S_ISLNK(st.st_mode)) return hopsLeft == 0 ? ENOENT : resolveHop(path, target, hopsLeft - 1);
  // A dangling link: a write creates the file it names, so follow it one link at a time.
  if (hopsLeft == 0) return ELOOP;
  char text[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), text, sizeof text);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof text) return n < 0 ? errno : ENAMETOOLONG;
  const std::string link(text, static_cast<size_t>(n));
  const std::string next = link.starts_with('/') ? link : directoryOf(path) + "/" + link;
  return resolveHop(next, target, hopsLeft - 1);
}

// The temporary file beside the target: removed on destruction unless renamed into place.
class TempFile {
 public:
  explicit TempFile(const std::string& target)
      : path_(directoryOf(target) + "/." + baseNameOf(target) + ".tmp-XXXXXX"),
        fd_(mkostemp(path_.data(), O_CLOEXEC)) {}
  ~TempFile() {
    fd_.close();
    if (fd_valid_ && !kept_) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }
  int close() { return fd_.close(); }
  const std::string& path() const { return path_; }
  void keep() { kept_ = true; }

 private:
  std::string path_;
  UniqueFd fd_;
  bool fd_valid_ = fd_.valid();
  bool kept_ = false;
};

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
  UniqueFd dir(open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) fsync(dir.get());  // best effort: the rename has happened either way
}

}  // namespace

int resolveWriteTarget(const std::string& path, std::string& target) {
  if (path.empty()) return ENOENT;
  return resolveHop(path, target, kMaxLinkHops);
}

int replaceResolvedFile(const std::string& target, std::string_view content) {
  // Only a regular file is replaced: a directory, device or FIFO there is someone else's.
  struct stat st;
  if (lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  TempFile temp(target);
  if (temp.fd() < 0) return errno;
  if (int rc = copyOwnership(temp.fd(), target); rc != 0) return rc;
  if (int rc = writeAll(temp.fd(), content); rc != 0) return rc;
  if (fsync(temp.fd()) != 0) return errno;
  if (temp.close() != 0) return errno;
  if (rename(temp.path().c_str(), target.c_str()) != 0) return errno;
  temp.keep();
  syncDirectoryOf(target);
  return 0;
}

int replaceFileAtomically(const std::string& path, std::string_view content) {
  std::string target;
  if (int rc = resolveWriteTarget(path, target); rc != 0) return rc;
  return replaceResolvedFile(target, content);
}

}  // namespace kyto
