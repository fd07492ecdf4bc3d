// Writing files whole: replacing a file so that readers see either the old or the new content,
// never a mix, with the termination signals deferred while files are written.
#pragma once

#include <signal.h>
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/descriptors.h"

namespace kyto {
// Links followed in the last place of a path when looking for the file a write replaces: as many
// as the kernel follows in one lookup.
inline constexpr int kMaxLinkHops = 40;

// The file a write replaces, found once: the directory that holds it, open, and its name there.
// Every later look at the file, the write and the rename go through the directory's descriptor,
// so they all concern the one entry that was found, whatever is renamed or re-linked around it.
// No path is ever derived from /proc.
class WriteTarget {
 public:
  int dir() const { return dir_.get(); }
  const char* name() const { return name_.c_str(); }
  // The file's path, for messages only: the directory as realpath gives it and the name.
  const std::string& path() const { return path_; }

  // fstatat of the name, not following a link.
  int stat(struct stat* st) const;
  // Whether something exists under the name.
  bool exists() const;
  // The file name in the directory open as dir (its descriptor duplicated), taken as it is: no
  // link is looked for. path names it in messages. 0, or an errno value.
  static int inDirectory(int dir, std::string name, std::string path, WriteTarget& target);

 private:
  friend int findWriteTarget(const std::string& path, WriteTarget& target);
  friend int followLinks(UniqueFd dir, std::string name, std::string dirPath, int hopsLeft,
                         WriteTarget& target);
  UniqueFd dir_;
  std::string name_;
  std::string path_;
};

// Finds the file that a write to path replaces. The kernel resolves the directories on the way;
// a link in the last place is followed, link by link and at most kMaxLinkHops times, to the name
// it leads to, which may not exist yet (a dangling link names the file to create). A path that
// ends in "/" names the directory before it, which must exist. A path that the kernel itself
// can't resolve is refused as the kernel refuses it. Returns 0 and sets target, or an errno
// value: ELOOP for too many links, ENOENT when a directory on the way is missing, EISDIR for a
// path ending in ".." or in "/" after a missing entry, ENOTDIR for "/" after a file.
int findWriteTarget(const std::string& path, WriteTarget& target);

// What a writer does once the new content is whole in its temporary file and before it is renamed
// over the target, given the temporary file's status: its inode and times stay the new file's.
// It can't fail the write.
using BeforeRename = std::function<void(const struct stat& written)>;

// Who a written file belongs to and who may read it, when the writer decides that instead of
// the file it replaces. The owner is given only where the writer may give it.
struct FileAccess {
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0644;
};

// Refuses a target that exists and is no regular file (EISDIR, EINVAL). Otherwise writes content
// to a temporary file beside the target, flushes and fsyncs it, calls beforeRename when given,
// and renames it over the target.
// The new file gets access when given; otherwise it keeps the old file's mode and, where the
// writer may, its owner, and a file that didn't exist is created 0644 whatever the umask. A
// termination signal that comes while the temporary file is written ends the write at once
// (ECANCELED: the temporary file is removed, and the signal takes effect as the call returns);
// from then on it waits for the rename (DeferredSignals). Returns 0, or an errno value; on failure
// the target is intact and the temporary file is gone.
int replaceTarget(const WriteTarget& target, std::string_view content,
                  const BeforeRename& beforeRename = {},
                  const std::optional<FileAccess>& access = std::nullopt);

// Writes a copy of the regular file open as source to target as replaceTarget writes content,
// with access: a reflink of its blocks where the file system shares them (FICLONE), else its
// bytes. The copy never shares the source's inode, so no later change of the source, in place
// or otherwise, reaches it. Returns 0, or an errno value as replaceTarget does.
int copyToTarget(const WriteTarget& target, int source, const FileAccess& access);

// Whether name is a temporary file that replaceTarget or copyToTarget made for a target of
// targetName, as a writer killed before its rename leaves it behind.
bool isTemporaryFor(std::string_view name, std::string_view targetName);

// The target name, as far as a temporary file's name keeps it, that a temporary file of this
// name was made for; empty for a name that is no such temporary file.
std::string_view temporaryTargetOf(std::string_view name);

// findWriteTarget, then replaceTarget.
int replaceFileAtomically(const std::string& path, std::string_view content);

// Writes all of data as writeAll does, a piece at a time, and gives up with ECANCELED as soon as
// a termination signal is pending (blocked by a DeferredSignals): a long write is cut short, so
// that the caller can remove what it wrote and the signal ends the program at once.
int writeAllUnlessTerminated(int fd, std::string_view data);

// Whether SIGHUP, SIGINT, SIGQUIT or SIGTERM is pending for the calling thread, and the writes
// under way may give up for it (no UncutWrites lives).
bool terminationPending();

// While it lives, no write of this thread gives up for a termination signal: the steps of a write
// that is past its point of no return (a rename's history) run to their end.
class UncutWrites {
 public:
  UncutWrites();
  ~UncutWrites();
  UncutWrites(const UncutWrites&) = delete;
  UncutWrites& operator=(const UncutWrites&) = delete;

 private:
  bool outer_;
};

// While it lives, SIGHUP, SIGINT, SIGQUIT, SIGTERM and SIGXFSZ are blocked for the calling
// thread; what arrives meanwhile waits. When it goes, a SIGXFSZ that the writes themselves raised
// (a file-size limit, reported to the writer as EFBIG) is taken off, so that the failure takes its
// ordinary path, and the mask is restored: a termination signal that came meanwhile is delivered
// then, once the files are whole again. The process's signal dispositions are never changed.
class DeferredSignals {
 public:
  DeferredSignals();
  ~DeferredSignals();
  DeferredSignals(const DeferredSignals&) = delete;
  DeferredSignals& operator=(const DeferredSignals&) = delete;

 private:
  sigset_t saved_;
  bool fileSizePending_ = false;  // a SIGXFSZ was pending before
  bool blocked_ = false;
};

}  // namespace kyto
