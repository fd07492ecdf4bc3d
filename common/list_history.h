// The history of the client list, an administrator's undo. Each change of clients.xml (an add, a
// del, a restore) keeps the list it replaced as a numbered version beside it, "clients.xml.~N~":
// a second link to the replaced file, so that keeping it copies nothing. The index beside them,
// "clients.xml.history", says for each of the last kKeptChanges changes when it came, what it
// was and how many clients the version holds. A list changed by hand between two changes shows
// as a change "edit", whose version could not be kept. Everything here runs under the list's
// lock.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/atomic_file.h"

namespace kyto::history {

// The changes, and so the versions, that the history keeps: the oldest goes first.
inline constexpr std::size_t kKeptChanges = 10;

// The index is never read beyond this: kKeptChanges entries of at most a few KiB each.
inline constexpr std::size_t kMostIndexBytes = 1024 * 1024;

// A file as it was seen: enough to tell it from any other file that takes its name later.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileIdentity&) const = default;
  static FileIdentity of(const struct stat& st);
};

struct Version {
  long number = 0;     // never given twice
  std::string time;    // when it was replaced, ISO 8601 in UTC
  std::string change;  // what replaced it: "add MAC", "del MAC", "restore N" or "edit"
  long clients = 0;    // how many CLIENT entries it holds; -1 when it is no list that reads
  std::string file;    // its file beside the list; empty when none was kept (an edit)
  std::optional<FileIdentity> replaced;  // the list file it was, when a change replaced it
};

struct History {
  std::vector<Version> versions;        // oldest first
  long next = 1;                        // the number of the next version
  std::optional<FileIdentity> written;  // the list file the last change wrote
  long writtenClients = 0;
  bool indexRead = false;  // an index was there and read whole
};

// Reads the history of the list that list names, as the changes left it: a change cut off
// before its new list was renamed into place (the list is still the version it kept) is left
// out, and a list that is not the one the last change wrote shows as an edit, numbered as the
// next version. 0, with an empty history when there is none yet, or an errno value: that of
// the index's opening or reading, EINVAL for an index that is no regular file, EFBIG for one
// over kMostIndexBytes, EBADMSG for one that is damaged.
int readHistory(const WriteTarget& list, History& history);

// The version of this number, or null.
const Version* findVersion(const History& history, long number);

// One change of the list, made under the list's lock.
class ListChange {
 public:
  // change: what replaces the list, as the history shows it. replacedClients: the CLIENT
  // entries of the list now (-1 when it reads as no list); writtenClients: those of the new one.
  // backupFile: the name of the backup of a list that did not read, which stands for its
  // version; such a backup is never removed here.
  ListChange(const WriteTarget& list, std::string change, long replacedClients, long writtenClients,
             std::string backupFile = {});

  // For replaceTarget: once the new list is whole in its temporary file, keeps the list as a
  // version and writes the index. What fails is said on standard error in one line; the change
  // goes on without it.
  BeforeRename beforeRename();

  // After the write: when the list was replaced, removes the versions that fell out of the
  // history; when it was not, the version that was kept for it.
  void finish(bool replaced);

 private:
  void keep(const struct stat& written);

  const WriteTarget& list_;
  std::string change_;
  long replacedClients_;
  long writtenClients_;
  std::string backupFile_;
  std::string keptFile_;  // the version kept by this change, when it kept one
  bool indexWritten_ = false;
  bool mayPrune_ = false;  // the history was read whole, so files it doesn't know are leftovers
  std::vector<std::string> dropped_;  // files of versions that fell out
};

// Replaces the list with content, as a change that keeps the replaced list's version (see
// ListChange). 0, or the errno value of the write, which leaves the list as it was.
int replaceList(const WriteTarget& list, std::string_view content, std::string change,
                long replacedClients, long writtenClients, std::string backupFile = {});

}  // namespace kyto::history
