// The files of the client list's history, in its own directory beside the list: their names and
// what they hold. Each version is two files, "version-N.xml", a copy of the list that change N
// replaced, and "version-N.record", what the history needs to list it; "index" holds the
// highest number given and what the last change did to the list. Any file can be lost or
// damaged: the index is rebuilt from the records, and a copy whose record is lost is still listed
// and restored.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kyto::history {

using VersionNumber = std::int64_t;
// Numbers only grow: once this one is given, a change is refused rather than wrap.
inline constexpr VersionNumber kHighestNumber = INT64_MAX;

// A change's text is kept to this many bytes, cut with a mark: any record stays within what its
// reader takes, whatever MAC text a caller passed.
inline constexpr std::size_t kMostChangeBytes = 200;
// A record or the index is never read beyond this.
inline constexpr std::size_t kMostRecordBytes = 4096;

// The change text of an edit by hand, which no add, del or restore gives.
inline constexpr std::string_view kEditChange = "edit";

// A file as it was seen: enough to tell it from any other file that takes its name later.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileIdentity&) const = default;
  // The same inode, whatever was written to it since.
  bool sameInode(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
  static FileIdentity of(const struct stat& st);
};

// What a change did to the list: the file it replaced (none when there was no list) and the file
// it wrote in its place, each with its CLIENT entries (-1 for a file that reads as no list).
struct ListSwap {
  std::optional<FileIdentity> replaced;
  long replacedClients = -1;
  std::optional<FileIdentity> written;
  long writtenClients = -1;
};

// What the history knows of one version: the change that replaced it, and when.
struct Record {
  VersionNumber number = 0;
  std::string time;    // when it was replaced, ISO 8601 in UTC
  std::string change;  // what replaced it: "add MAC", "del MAC", "restore N" or "edit"
  int notKept = 0;     // why its copy was not kept (an errno value), 0 when it was
  ListSwap swap;       // its file and clients are the version's
};

struct Index {
  VersionNumber highest = 0;  // the highest number given so far
  VersionNumber last = 0;     // the version the last change kept; 0 when it kept none
  ListSwap swap;              // what the last change did to the list
};

// The kinds of file the history makes in its directory; everything else there is someone else's.
enum class FileKind { Index, Copy, Record, Temporary, Foreign };
struct HistoryFile {
  FileKind kind = FileKind::Foreign;
  VersionNumber number = 0;  // of a copy or a record
};

// What a name in the history's directory is: only the names the history gives (a number written
// as it writes numbers, 1 to kHighestNumber) and their temporary files are its own.
HistoryFile classify(std::string_view name);

inline constexpr char kIndexName[] = "index";
std::string copyName(VersionNumber number);
std::string recordName(VersionNumber number);

// "VERB SUBJECT", cut to kMostChangeBytes (at a character's start) with "..." when longer.
std::string changeText(std::string_view verb, std::string_view subject);

// Now, or a file's time, as a record keeps it.
std::string isoTime(time_t seconds);

std::string serialized(const Record& record);
std::string serialized(const Index& index);
// False for a text that is no whole record or index.
bool parse(std::string_view text, Record& record);
bool parse(std::string_view text, Index& index);

}  // namespace kyto::history
