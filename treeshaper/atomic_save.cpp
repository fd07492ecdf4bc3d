#include "atomic_save.h"

#include <fcntl.h>
#include <libxml/xmlsave.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <utility>

namespace kyto::treeshaper {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  // Closes now, so that a failing close is seen.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Removes the temporary file unless the rename has taken it over.
class TemporaryFile {
 public:
  TemporaryFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TemporaryFile() {
    if (!committed_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  FileDescriptor& fd() { return fd_; }
  void markCommitted() { committed_ = true; }

 private:
  std::string path_;
  FileDescriptor fd_;
  bool committed_ = false;
};

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr int kMaxLinkHops = 40;

// Writing through a symbolic link replaces the file it names, not the link, and creates that
// file when it doesn't exist yet, as an open for writing would. Empty when the links loop.
std::string fileToReplace(const std::string& targetPath) {
  std::string target = targetPath;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat status {};
    if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return target;
    char text[PATH_MAX];
    const ssize_t n = readlink(target.c_str(), text, sizeof text);
    if (n <= 0 || static_cast<std::size_t>(n) == sizeof text) return target;
    // A relative link is read from the link's own directory.
    const std::string link(text, static_cast<std::size_t>(n));
    const std::size_t slash = target.rfind('/');
    target = link.starts_with('/') || slash == std::string::npos
                 ? link
                 : target.substr(0, slash + 1) + link;
  }
  return {};
}

// A new file beside the target, created exclusively so no other file is ever written through.
std::optional<TemporaryFile> createTemporaryBeside(const std::string& target) {
  const std::string stem =
      directoryOf(target) + "/." + baseNameOf(target) + ".tmp-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = stem + std::to_string(attempt);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return std::optional<TemporaryFile>(std::in_place, std::move(path), fd);
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

// The replacement keeps the owner and mode of the file it replaces; only root can give a file
// to another owner, so that part is best effort.
bool keepOwnerAndMode(int fd, const std::string& target) {
  struct stat status {};
  if (stat(target.c_str(), &status) != 0) return true;
  if (fchown(fd, status.st_uid, status.st_gid) != 0) {
    // Left with the writer's ownership.
  }
  return fchmod(fd, status.st_mode & 07777) == 0;
}

// libxml2's own descriptor output gives up after one short write and drops the rest, so the
// serialiser is fed through a writer that keeps going until everything is out.
int writeAll(void* context, const char* data, int length) {
  const int fd = *static_cast<const int*>(context);
  int done = 0;
  while (done < length) {
    const ssize_t written = ::write(fd, data + done, static_cast<std::size_t>(length - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return -1;
    done += static_cast<int>(written);
  }
  return length;
}

bool serialise(xmlDoc* doc, int fd) {
  const char* encoding = reinterpret_cast<const char*>(doc->encoding);
  xmlSaveCtxtPtr context = xmlSaveToIO(writeAll, nullptr, &fd, encoding, XML_SAVE_AS_XML);
  if (context == nullptr) return false;
  const bool dumped = xmlSaveDoc(context, doc) >= 0;
  const bool flushed = xmlSaveClose(context) >= 0;
  return dumped && flushed;
}

void syncDirectory(const std::string& directory) {
  FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
}

}  // namespace

bool saveDocumentAtomically(xmlDoc* doc, const std::string& targetPath) {
  const std::string target = fileToReplace(targetPath);
  if (target.empty()) return false;
  std::optional<TemporaryFile> temporary = createTemporaryBeside(target);
  if (!temporary) return false;

  const int fd = temporary->fd().get();
  if (!keepOwnerAndMode(fd, target) || !serialise(doc, fd) || fsync(fd) != 0 ||
      !temporary->fd().close()) {
    return false;
  }
  if (std::rename(temporary->path().c_str(), target.c_str()) != 0) return false;
  temporary->markCommitted();
  syncDirectory(directoryOf(target));
  return true;
}

}  // namespace kyto::treeshaper
