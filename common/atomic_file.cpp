#include "common/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>
#include <memory>

#include "common/descriptors.h"

namespace kyto {
namespace {

constexpr mode_t kNewFileMode = 0644;
// Temporary names are drawn at random; this many taken names in a row means something is wrong.
constexpr int kTemporaryNameTries = 100;
// Lookups of a write target that another process keeps changing under us, before giving up.
constexpr int kLookupTries = 8;
// A temporary name is the target's name with a dot before and ".tmp-" and six characters after;
// a long name is cut so that the temporary one stays within NAME_MAX.
constexpr std::size_t kMostNameBytesInTemporary = NAME_MAX - 12;
constexpr std::string_view kTemporaryMark = ".tmp-";
constexpr std::size_t kTemporarySuffixBytes = 6;
constexpr std::string_view kTemporaryLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A copy's bytes go in pieces of this size where no reflink can be made.
constexpr std::size_t kCopyChunkBytes = 1024 * 1024;

// The directory part of a path as written ("." when there is none) and its last part.
std::string directoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool namesNoEntry(const std::string& name) {
  return name.empty() || name == "." || name == "..";
}

// The directory at path, relative to dir unless it is absolute, opened only to look things up.
UniqueFd openDirectoryAt(int dir, const std::string& path) {
  return UniqueFd(openat(dir, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

std::string displayPath(const std::string& dirPath, const std::string& name) {
  char resolved[PATH_MAX];
  const std::string dir = realpath(dirPath.c_str(), resolved) != nullptr ? resolved : dirPath;
  return dir == "/" ? "/" + name : dir + "/" + name;
}

// Whether the kernel's own lookup of path found the entry target holds, or found nothing.
int sameAsKernelLookup(const std::string& path, const WriteTarget& target, bool* same) {
  UniqueFd found(open(path.c_str(), O_PATH | O_CLOEXEC));
  struct stat byKernel {};
  struct stat byTarget {};
  if (!found.valid()) {
    if (errno != ENOENT) return errno;
    *same = !target.exists();
    return 0;
  }
  if (fstat(found.get(), &byKernel) != 0) return errno;
  *same = target.stat(&byTarget) == 0 && byKernel.st_dev == byTarget.st_dev &&
          byKernel.st_ino == byTarget.st_ino;
  return 0;
}

// The temporary file beside the target: removed on destruction unless renamed into place.
class TempFile {
 public:
  explicit TempFile(const WriteTarget& target) : dir_(target.dir()) {
    const std::string base = std::string(".") +
                             std::string(target.name()).substr(0, kMostNameBytesInTemporary) +
                             std::string(kTemporaryMark);
    for (int tries = 0; tries < kTemporaryNameTries && !fd_.valid(); ++tries) {
      name_ = base + randomSuffix();
      fd_ = UniqueFd(openat(dir_, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
      if (!fd_.valid() && errno != EEXIST) break;
    }
    created_ = fd_.valid();
  }
  ~TempFile() {
    fd_.close();
    if (created_ && !kept_) unlinkat(dir_, name_.c_str(), 0);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }
  int close() { return fd_.close(); }
  const char* name() const { return name_.c_str(); }
  void keep() { kept_ = true; }

 private:
  static std::string randomSuffix() {
    unsigned char bytes[kTemporarySuffixBytes];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
      // No entropy yet (early boot): the process id and a count still give distinct names.
      static unsigned count = 0;
      unsigned long long mixed = (static_cast<unsigned long long>(getpid()) << 20) + ++count;
      for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(mixed), mixed >>= 7;
    }
    std::string suffix;
    for (const unsigned char byte : bytes)
      suffix += kTemporaryLetters[byte % kTemporaryLetters.size()];
    return suffix;
  }

  int dir_;
  std::string name_;
  UniqueFd fd_;
  bool created_ = false;
  bool kept_ = false;
};

// Gives the new file the old one's mode and, where permitted, its owner.
int copyOwnership(int fd, const WriteTarget& target) {
  struct stat st;
  if (target.stat(&st) != 0) return fchmod(fd, kNewFileMode) == 0 ? 0 : errno;
  if (fchown(fd, st.st_uid, st.st_gid) != 0) {
    // Only a privileged writer may give the file away; others keep their own ownership.
  }
  return fchmod(fd, st.st_mode & 07777) == 0 ? 0 : errno;
}

// Gives the new file access when given, else the old file's mode and owner.
int applyAccess(int fd, const WriteTarget& target, const std::optional<FileAccess>& access) {
  if (!access) return copyOwnership(fd, target);
  if (fchown(fd, access->owner, access->group) != 0) {
    // Only a privileged writer may give the file away; others keep their own ownership.
  }
  return fchmod(fd, access->mode) == 0 ? 0 : errno;
}

void syncDirectory(int dir) {
  // Best effort: the rename has happened either way, and a directory its writer may not read
  // can't be opened for the sync.
  UniqueFd readable(openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (readable.valid()) fsync(readable.get());
}

// Fills a new file's descriptor with its content; 0, or an errno value.
using FillFile = std::function<int(int fd)>;

// The one path of every write: a temporary file beside the target, filled, synced, handed to
// beforeRename and renamed over the target, with the termination signals deferred meanwhile.
int writeThroughTemporary(const WriteTarget& target, const std::optional<FileAccess>& access,
                          const FillFile& fill, const BeforeRename& beforeRename) {
  // Only a regular file is replaced: a directory, device, FIFO or link there is someone else's.
  struct stat st;
  if (target.stat(&st) == 0 && !S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  const DeferredSignals deferred;  // outlives the temporary file, which goes first on failure
  TempFile temp(target);
  if (temp.fd() < 0) return errno;
  if (int rc = applyAccess(temp.fd(), target, access); rc != 0) return rc;
  if (int rc = fill(temp.fd()); rc != 0) return rc;
  if (fsync(temp.fd()) != 0) return errno;
  if (terminationPending()) return ECANCELED;
  if (beforeRename) {
    struct stat written;
    if (fstat(temp.fd(), &written) != 0) return errno;
    // From here on the write runs to its end: what beforeRename writes is not cut either.
    const UncutWrites uncut;
    beforeRename(written);
  }
  if (temp.close() != 0) return errno;
  if (renameat(target.dir(), temp.name(), target.dir(), target.name()) != 0) return errno;
  temp.keep();
  syncDirectory(target.dir());
  return 0;
}

// The bytes of source from offset on, through a buffer of our own.
int copyThroughBuffer(int source, int to, off_t offset) {
  const std::unique_ptr<char[]> chunk(new char[kCopyChunkBytes]);
  for (;;) {
    const ssize_t n = pread(source, chunk.get(), kCopyChunkBytes, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    if (int rc =
            writeAllUnlessTerminated(to, std::string_view(chunk.get(), static_cast<size_t>(n)));
        rc != 0)
      return rc;
    offset += n;
  }
}

// The blocks of source shared where the file system can (a reflink), else its bytes: copied by
// the kernel where it may, else through a buffer.
int copyContent(int source, int to) {
  if (ioctl(to, FICLONE, source) == 0) return 0;
  loff_t offset = 0;
  for (;;) {
    if (terminationPending()) return ECANCELED;
    const ssize_t n = copy_file_range(source, &offset, to, nullptr, kCopyChunkBytes, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return 0;
    if (n > 0) continue;
    // No copy in the kernel between these two files; what it copied stays, the rest follows.
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
      return copyThroughBuffer(source, to, offset);
    return errno;
  }
}

}  // namespace

int WriteTarget::stat(struct stat* st) const {
  return fstatat(dir_.get(), name_.c_str(), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

bool WriteTarget::exists() const {
  struct stat st;
  return stat(&st) == 0;
}

int WriteTarget::inDirectory(int dir, std::string name, std::string path, WriteTarget& target) {
  target.dir_ = UniqueFd(fcntl(dir, F_DUPFD_CLOEXEC, 0));
  if (!target.dir_.valid()) return errno;
  target.name_ = std::move(name);
  target.path_ = std::move(path);
  return 0;
}

int followLinks(UniqueFd dir, std::string name, std::string dirPath, int hopsLeft,
                WriteTarget& target) {
  for (;;) {
    if (!dir.valid()) return errno;
    if (namesNoEntry(name)) return EISDIR;
    struct stat st;
    const bool found = fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!found && errno != ENOENT) return errno;
    if (!found || !S_ISLNK(st.st_mode)) break;
    if (hopsLeft-- == 0) return ELOOP;
    char text[PATH_MAX];
    const ssize_t n = readlinkat(dir.get(), name.c_str(), text, sizeof text);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof text) return n < 0 ? errno : ENAMETOOLONG;
    const std::string link(text, static_cast<size_t>(n));
    const std::string linkDir = directoryOf(link);
    dirPath = link.starts_with('/') ? linkDir : dirPath.append("/").append(linkDir);
    dir = openDirectoryAt(dir.get(), linkDir);
    name = baseNameOf(link);
  }
  target.dir_ = std::move(dir);
  target.path_ = displayPath(dirPath, name);
  target.name_ = std::move(name);
  return 0;
}

// A path that ends in "/" or "/." names a directory, as the kernel reads it: the entry before.
std::string withoutDirectoryEnding(const std::string& path, bool* namesDirectory) {
  std::string entry = path;
  *namesDirectory = false;
  while (entry.size() > 1 && (entry.ends_with('/') || entry.ends_with("/."))) {
    entry.resize(entry.size() - (entry.ends_with('/') ? 1 : 2));
    *namesDirectory = true;
  }
  return entry;
}

// What the kernel says of a write to a path that names a directory.
int directoryEndingError(const WriteTarget& target) {
  struct stat st;
  if (target.stat(&st) != 0) return EISDIR;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int findWriteTarget(const std::string& path, WriteTarget& target) {
  if (path.empty()) return ENOENT;
  bool namesDirectory = false;
  const std::string entry = withoutDirectoryEnding(path, &namesDirectory);
  // The kernel's own lookup of the whole path decides what it can't resolve (too many links on
  // the way, say); an entry renamed or re-linked between the two lookups is looked for again.
  for (int tries = 0; tries < kLookupTries; ++tries) {
    const std::string dirPath = directoryOf(entry);
    if (int rc = followLinks(openDirectoryAt(AT_FDCWD, dirPath), baseNameOf(entry), dirPath,
                             kMaxLinkHops, target);
        rc != 0)
      return rc;
    if (namesDirectory) {
      if (int rc = directoryEndingError(target); rc != 0) return rc;
    }
    bool same = false;
    if (int rc = sameAsKernelLookup(path, target, &same); rc != 0) return rc;
    if (same) return 0;
  }
  return EAGAIN;
}

int replaceTarget(const WriteTarget& target, std::string_view content,
                  const BeforeRename& beforeRename, const std::optional<FileAccess>& access) {
  return writeThroughTemporary(
      target, access, [content](int fd) { return writeAllUnlessTerminated(fd, content); },
      beforeRename);
}

int copyToTarget(const WriteTarget& target, int source, const FileAccess& access) {
  return writeThroughTemporary(target, access, [source](int fd) { return copyContent(source, fd); },
                               {});
}

std::string_view temporaryTargetOf(std::string_view name) {
  const std::size_t affixes = 1 + kTemporaryMark.size() + kTemporarySuffixBytes;
  if (name.size() <= affixes || !name.starts_with('.')) return {};
  const std::string_view suffix = name.substr(name.size() - kTemporarySuffixBytes);
  const std::string_view mark = name.substr(
      name.size() - kTemporarySuffixBytes - kTemporaryMark.size(), kTemporaryMark.size());
  if (mark != kTemporaryMark ||
      suffix.find_first_not_of(kTemporaryLetters) != std::string_view::npos)
    return {};
  return name.substr(1, name.size() - affixes);
}

bool isTemporaryFor(std::string_view name, std::string_view targetName) {
  const std::string_view target = temporaryTargetOf(name);
  return !target.empty() && target == targetName.substr(0, kMostNameBytesInTemporary);
}

int replaceFileAtomically(const std::string& path, std::string_view content) {
  WriteTarget target;
  if (int rc = findWriteTarget(path, target); rc != 0) return rc;
  return replaceTarget(target, content);
}

namespace {

// A piece of a long write: small enough that a signal is heeded within milliseconds.
constexpr std::size_t kWritePiece = 1024 * 1024;

// Set while the writes of this thread belong to one that is past the point of giving up.
thread_local bool tUncut = false;

sigset_t deferredSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXFSZ}) sigaddset(&set, signal);
  return set;
}

// Whether any of the signals is pending for the calling thread: one look at the pending set.
bool anyPending(std::initializer_list<int> signals) {
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  for (const int signal : signals)
    if (sigismember(&pending, signal) == 1) return true;
  return false;
}

}  // namespace

UncutWrites::UncutWrites() : outer_(tUncut) {
  tUncut = true;
}

UncutWrites::~UncutWrites() {
  tUncut = outer_;
}

bool terminationPending() {
  return !tUncut && anyPending({SIGHUP, SIGINT, SIGQUIT, SIGTERM});
}

int writeAllUnlessTerminated(int fd, std::string_view data) {
  while (!data.empty()) {
    if (terminationPending()) return ECANCELED;
    const std::string_view piece = data.substr(0, kWritePiece);
    if (const int error = writeAll(fd, piece); error != 0) return error;
    data.remove_prefix(piece.size());
  }
  return 0;
}

DeferredSignals::DeferredSignals() {
  const sigset_t set = deferredSet();
  fileSizePending_ = anyPending({SIGXFSZ});
  blocked_ = pthread_sigmask(SIG_BLOCK, &set, &saved_) == 0;
}

DeferredSignals::~DeferredSignals() {
  if (!blocked_) return;
  if (!fileSizePending_ && anyPending({SIGXFSZ})) {
    sigset_t fileSize;
    sigemptyset(&fileSize);
    sigaddset(&fileSize, SIGXFSZ);
    const timespec now{};
    sigtimedwait(&fileSize, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace kyto
