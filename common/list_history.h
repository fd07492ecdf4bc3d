// The history of the client list, an administrator's undo. Each change of clients.xml (an add, a
// del, a restore) keeps a copy of the list it replaced as a numbered version in the history's
// own directory beside the list ("clients.history" for "clients.xml"), with a record of when the
// change came, what it was and how many clients the version holds
// (common/list_history_records.h has the files). A list changed by hand between two changes shows
// as a change "edit", whose version could not be kept. The last kKeptChanges changes are kept.
//
// The history makes, changes and removes only its own files in its own directory, and the
// temporary files that a change killed before its rename left beside the list. Every change of it
// runs under the list's lock; reading it needs none, as every file is written whole.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/atomic_file.h"
#include "common/descriptors.h"
#include "common/list_history_records.h"

namespace kyto::history {

// The changes, and so the versions, that the history keeps: the oldest goes first.
inline constexpr std::size_t kKeptChanges = 10;

struct Version {
  VersionNumber number = 0;
  std::string time;
  std::string change;       // "unknown" when its record is lost
  long clients = -1;        // -1 when it is no list that reads, or unknown
  int notKept = 0;          // why no copy of it was kept (an errno value), as its record says
  bool recordLost = false;  // its record is damaged or gone: only its copy is known
  bool isEdit() const { return change == kEditChange; }
};

// A file of the history that could not be read, and why (an errno value; EBADMSG: damaged).
struct Problem {
  std::string file;
  int error = 0;
};

struct History {
  std::vector<Version> versions;  // oldest first, the last kKeptChanges
  std::vector<Problem> problems;  // what could not be read; the rest is listed
  bool numbersLeft = true;        // false once kHighestNumber was given: changes are refused
};

// The history's directory beside the list: the list's name without ".xml", then ".history".
std::string directoryName(const WriteTarget& list);
// Its path, for messages.
std::string directoryPath(const WriteTarget& list);

// Reads the history of the list as the changes left it: a change cut off before its new list was
// renamed into place is left out, and a list that is not the one the last change wrote shows as
// an edit, numbered as the next version. 0, with an empty history when there is none yet, or the
// errno value of opening its directory (ENOTDIR, ELOOP for a link in its place, EACCES).
int readHistory(const WriteTarget& list, History& history);

// The version of this number, or null.
const Version* findVersion(const History& history, VersionNumber number);

// What the history says of its last change, from its index and that change's record alone: for a
// program that changed the list through the library, which says nothing of the history, to tell
// whether the list it replaced was kept.
struct LastChange {
  bool wroteList = false;   // the list is the very file the last change wrote
  std::string change;       // the last change, when it kept a version; empty when it kept none
  int notKept = 0;          // why that version's copy was not kept, as its record says
  bool numbersLeft = true;  // false once kHighestNumber was given: changes are refused
};
// 0, or the errno value of opening the history's directory (ENOENT when there is none).
int readLastChange(const WriteTarget& list, LastChange& last);

// The copy of a version, read whole when it is a regular file (no link followed) of at most
// mostBytes. 0, or an errno value.
int readVersion(const WriteTarget& list, VersionNumber number, std::size_t mostBytes,
                std::string& bytes);

// One change of the list, made under the list's lock: prepare, then write the list with
// beforeRename, then finish.
class ListChange {
 public:
  // change: what replaces the list, as the history shows it (changeText()). replacedClients: the
  // CLIENT entries of the list now (-1 when it reads as no list); writtenClients: those of the
  // new one.
  ListChange(const WriteTarget& list, std::string change, long replacedClients,
             long writtenClients);
  ListChange(const ListChange&) = delete;
  ListChange& operator=(const ListChange&) = delete;

  // Before the new list is written: removes what changes cut off left, records an edit by hand
  // and takes the change's number. 0, or EOVERFLOW when no number is left: the change must not
  // be made. A history that can't be kept at all is no reason to refuse the change.
  int prepare();

  // For replaceTarget: once the new list is whole in its temporary file, keeps a copy of the
  // list as the change's version, its record, and the index.
  BeforeRename beforeRename();

  // After the write: when the list was replaced, removes the versions that fell out of the
  // history; when it was not, the version kept for it.
  void finish(bool replaced);

  // Why the replaced list was not kept (an errno value); 0 when it was, or when there was none.
  int notKept() const { return notKept_; }

 private:
  void keep(const struct stat& written);
  int copyList(VersionNumber number, ListSwap& swap) const;
  int writeFile(const std::string& name, std::string_view content) const;
  void remove(VersionNumber number) const;

  const WriteTarget& list_;
  std::string change_;
  long replacedClients_;
  long writtenClients_;
  std::optional<struct stat> replaced_;  // the list now, when it is a regular file
  FileAccess access_;
  UniqueFd dir_;
  bool created_ = false;             // the directory is this change's
  std::vector<VersionNumber> kept_;  // every version that stays, oldest first
  VersionNumber highest_ = 0;
  VersionNumber number_ = 0;  // the version of this change, once its record is written
  int notKept_ = 0;
};

// Replaces the list with content, as a change that keeps the replaced list's version (see
// ListChange). 0, or the errno value of the write, which leaves the list as it was (EOVERFLOW:
// the history has no number left). notKept, when given: ListChange::notKept().
int replaceList(const WriteTarget& list, std::string_view content, std::string change,
                long replacedClients, long writtenClients, int* notKept = nullptr);

}  // namespace kyto::history
