#include "common/list_history.h"

#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <set>

namespace kyto::history {

namespace {

constexpr std::string_view kListSuffix = ".xml";
constexpr std::string_view kDirectorySuffix = ".history";
constexpr std::string_view kUnknown = "unknown";

// ---- the directories

// Calls visit with each name in the directory open as dir (a descriptor that only looks things
// up included); none when it can't be read.
void forEachName(int dir, const std::function<void(const char* name)>& visit) {
  const int fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* stream = fdopendir(fd);
  if (stream == nullptr) {
    close(fd);
    return;
  }
  while (const dirent* entry = readdir(stream)) visit(entry->d_name);
  closedir(stream);
}

// The history is no more readable than the list: its files get the list's read bits, its
// directory lets in only who may read the list, and only the list's owner writes either.
FileAccess accessFor(const std::optional<struct stat>& list) {
  // No list yet: the new one is created 0644, by its writer.
  if (!list) return {geteuid(), getegid(), 0644};
  return {list->st_uid, list->st_gid, static_cast<mode_t>((list->st_mode & 0444) | 0200)};
}

mode_t directoryModeFor(mode_t fileMode) {
  return 0700 | ((fileMode & 0040) != 0 ? 0050 : 0) | ((fileMode & 0004) != 0 ? 0005 : 0);
}

// Gives a file or directory its owner, where the writer may, and its mode.
void giveAccess(int fd, const FileAccess& access, mode_t mode) {
  if (fchown(fd, access.owner, access.group) != 0) {
    // Only a privileged writer may give it away.
  }
  fchmod(fd, mode);
}

// What the history writes is always a regular file of one link. A link, a FIFO, a directory, or
// a file linked from elsewhere that bears one of its names is someone else's: the history never
// changes or removes it.
bool couldBeOwn(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_nlink == 1;
}

void removeIfOwn(int dir, const std::string& name) {
  struct stat st;
  if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && couldBeOwn(st))
    unlinkat(dir, name.c_str(), 0);
}

// The history's own files, when the list's access changed since they were written.
void giveFilesAccess(int dir, const FileAccess& access) {
  forEachName(dir, [&](const char* name) {
    if (classify(name).kind == FileKind::Foreign) return;
    const UniqueFd file(openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (file.valid() && fstat(file.get(), &st) == 0 && couldBeOwn(st))
      giveAccess(file.get(), access, access.mode);
  });
}

// Gives the directory and its files the access of the history; EPERM when the directory stays
// open to others' writes or belongs to someone else.
int holdPrivate(int dir, const FileAccess& access) {
  const mode_t mode = directoryModeFor(access.mode);
  struct stat st;
  if (fstat(dir, &st) != 0) return errno;
  if (st.st_uid != access.owner || st.st_gid != access.group || (st.st_mode & 07777) != mode) {
    giveAccess(dir, access, mode);
    giveFilesAccess(dir, access);
    if (fstat(dir, &st) != 0) return errno;
  }
  const bool owned = st.st_uid == access.owner || st.st_uid == geteuid();
  return owned && (st.st_mode & 0022) == 0 ? 0 : EPERM;
}

// Opens the history's directory, never through a link; creates it (setting created) and gives
// it its access when access is given (a change), else only opens it (a reader).
int openDirectory(const WriteTarget& list, const FileAccess* access, UniqueFd& dir,
                  bool* created = nullptr) {
  const std::string name = directoryName(list);
  const auto open = [&] {
    return UniqueFd(
        openat(list.dir(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  };
  dir = open();
  if (!dir.valid() && errno == ENOENT && access != nullptr) {
    const bool made = mkdirat(list.dir(), name.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) return errno;
    if (created != nullptr) *created = made;
    dir = open();
  }
  if (!dir.valid()) return errno;
  return access != nullptr ? holdPrivate(dir.get(), *access) : 0;
}

std::optional<FileIdentity> identityOf(const WriteTarget& list, struct stat& st) {
  if (list.stat(&st) != 0) return std::nullopt;
  return FileIdentity::of(st);
}

// Whether a temporary file beside the list is this inode: a change's new list not yet renamed.
bool isTemporaryBesideList(const WriteTarget& list, const FileIdentity& file) {
  bool found = false;
  forEachName(list.dir(), [&](const char* name) {
    struct stat st;
    found = found || (isTemporaryFor(name, list.name()) &&
                      fstatat(list.dir(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                      file.sameInode(FileIdentity::of(st)));
  });
  return found;
}

// Whether name is a temporary file of the list or of a backup of it ("<list>.corrupt-<time>").
bool isTemporaryOfList(std::string_view name, const WriteTarget& list) {
  return isTemporaryFor(name, list.name()) ||
         temporaryTargetOf(name).starts_with(std::string(list.name()) + ".corrupt-");
}

// The new lists and backups of changes killed before their rename: regular files named as a
// temporary file of the list or of its backup, which nothing else makes.
void removeTemporariesBesideList(const WriteTarget& list) {
  std::vector<std::string> temporaries;
  forEachName(list.dir(), [&](const char* name) {
    if (isTemporaryOfList(name, list)) temporaries.push_back(name);
  });
  for (const std::string& name : temporaries) removeIfOwn(list.dir(), name);
}

// ---- what the history's directory holds

struct State {
  Index index;                              // as read, or rebuilt from the records
  std::set<VersionNumber> recordFiles;      // versions whose record is there
  std::map<VersionNumber, Record> records;  // those read whole, when they were read
  std::set<VersionNumber> lostRecords;      // versions whose record is damaged or gone
  std::set<VersionNumber> copies;           // versions whose copy is there
  std::vector<std::string> temporaries;     // of writes cut off
  std::vector<VersionNumber> leftovers;     // versions of changes that never came
  std::optional<Record> edit;               // an edit by hand since the last change
  std::vector<Problem> problems;

  // The numbers of the versions that stay, oldest first, the edit's left out.
  std::vector<VersionNumber> numbers() const {
    std::set<VersionNumber> all(lostRecords);
    all.insert(recordFiles.begin(), recordFiles.end());
    for (const VersionNumber leftover : leftovers) all.erase(leftover);
    return {all.begin(), all.end()};
  }
};

void scan(int dir, State& state) {
  forEachName(dir, [&](const char* name) {
    const HistoryFile file = classify(name);
    if (file.kind == FileKind::Copy) state.copies.insert(file.number);
    if (file.kind == FileKind::Record) state.recordFiles.insert(file.number);
    if (file.kind == FileKind::Temporary) state.temporaries.push_back(name);
  });
}

int readFile(int dir, const std::string& name, std::string& text) {
  return readRegularFileAt(dir, name.c_str(), kMostRecordBytes, text);
}

// The records up to the highest number a change committed (all of them without an index).
void readRecords(int dir, VersionNumber highest, State& state) {
  for (const VersionNumber number : state.recordFiles) {
    if (number > highest) break;
    std::string text;
    Record record;
    int error = readFile(dir, recordName(number), text);
    if (error == 0 && (!parse(text, record) || record.number != number)) error = EBADMSG;
    if (error == 0) {
      state.records.emplace(number, std::move(record));
    } else {
      state.lostRecords.insert(number);
      state.problems.push_back({recordName(number), error});
    }
  }
}

// Whether the copy of a version holds what the list holds now.
bool copyIsTheList(const WriteTarget& list, int dir, VersionNumber number) {
  const std::string name = copyName(number);
  struct stat copy;
  struct stat now;
  if (fstatat(dir, name.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0 || list.stat(&now) != 0 ||
      copy.st_size != now.st_size)
    return false;
  const auto size = static_cast<std::size_t>(copy.st_size);
  std::string kept;
  std::string current;
  return readRegularFileAt(dir, name.c_str(), size, kept) == 0 &&
         readRegularFileAt(list.dir(), list.name(), size, current) == 0 && kept == current;
}

// Without an index (lost or damaged), the records tell the highest number and, when the newest
// of them reads, the last change; when it doesn't, nothing is known of the last change, and no
// edit is found against it. A copy above every record is a version whose record was lost, unless
// it holds the list as it is now: then a change killed before its record copied the list it left.
Index rebuiltIndex(const WriteTarget& list, int dir, const State& state) {
  Index index;
  if (!state.recordFiles.empty()) index.highest = *state.recordFiles.rbegin();
  if (!state.copies.empty() && *state.copies.rbegin() > index.highest &&
      !copyIsTheList(list, dir, *state.copies.rbegin()))
    index.highest = *state.copies.rbegin();
  if (const auto newest = state.records.find(index.highest); newest != state.records.end()) {
    index.last = index.highest;
    index.swap = newest->second.swap;
  }
  return index;
}

// A change writes the index before its rename, and the next change first removes what one cut
// off left, so above the index's highest number there is at most one change's record, and never
// one whose new list is the list now. An index that shows otherwise (lowered by hand, say) is not
// believed: the history is read from its records, and no version is dropped.
bool indexAgreesWithRecords(const WriteTarget& list, int dir, const State& state) {
  struct stat st;
  const std::optional<FileIdentity> current = identityOf(list, st);
  int changesAbove = 0;
  for (auto it = state.recordFiles.upper_bound(state.index.highest); it != state.recordFiles.end();
       ++it) {
    std::string text;
    Record record;
    if (readFile(dir, recordName(*it), text) != 0 || !parse(text, record) ||
        record.change == kEditChange)
      continue;
    const bool came = record.swap.written && current && *current == *record.swap.written;
    if (came || ++changesAbove > 1) return false;
  }
  return true;
}

// Files numbered beyond the highest number a change committed were left by a change killed
// before it wrote the index; a copy without a record below it has lost its record.
void sortOutUncommitted(State& state) {
  const VersionNumber highest = state.index.highest;
  for (const VersionNumber number : state.recordFiles)
    if (number > highest) state.leftovers.push_back(number);
  for (const VersionNumber number : state.copies) {
    if (state.recordFiles.count(number) != 0) continue;
    if (number > highest) {
      state.leftovers.push_back(number);
    } else {
      state.lostRecords.insert(number);
      state.problems.push_back({recordName(number), ENOENT});
    }
  }
}

// Whether the last change's new list was renamed into place. Only what shows it was not counts:
// the list is still the file it replaced, or its new list is still a temporary file.
bool lastChangeCame(const WriteTarget& list, const ListSwap& last,
                    const std::optional<FileIdentity>& current) {
  if (last.written && current && current->sameInode(*last.written)) return true;
  if (current == last.replaced) return false;
  return !(last.written && isTemporaryBesideList(list, *last.written));
}

// A change that never came is left out; a list that is not the one the last change wrote was
// changed by hand since, which shows as an edit numbered as the next version.
void reconcile(const WriteTarget& list, State& state) {
  struct stat st;
  const std::optional<FileIdentity> current = identityOf(list, st);
  const ListSwap& last = state.index.swap;
  std::optional<FileIdentity> meant = last.written;
  long meantClients = last.writtenClients;
  if (!lastChangeCame(list, last, current)) {
    if (state.index.last > 0) state.leftovers.push_back(state.index.last);
    meant = last.replaced;
    meantClients = last.replacedClients;
  }
  if (!meant || meant == current || state.index.highest == kHighestNumber) return;
  Record edit;
  edit.number = state.index.highest + 1;
  edit.time = isoTime(current ? st.st_mtim.tv_sec : time(nullptr));
  edit.change = kEditChange;
  edit.swap = {meant, meantClients, current, -1};
  state.edit = std::move(edit);
}

// What the directory holds, as the changes left it. A change reads no record when the index
// reads: it needs only their numbers.
void load(const WriteTarget& list, int dir, bool readWhole, State& state) {
  scan(dir, state);
  std::string text;
  int error = readFile(dir, kIndexName, text);
  if (error == 0 && !parse(text, state.index)) error = EBADMSG;
  if (error == 0 && !indexAgreesWithRecords(list, dir, state)) error = EBADMSG;
  if (error == 0) {
    if (readWhole) readRecords(dir, state.index.highest, state);
  } else {
    if (error != ENOENT) state.problems.push_back({kIndexName, error});
    readRecords(dir, kHighestNumber, state);
    state.index = rebuiltIndex(list, dir, state);
  }
  sortOutUncommitted(state);
  reconcile(list, state);
}

Version versionOf(const Record& record) {
  return {record.number,  record.time, record.change, record.swap.replacedClients,
          record.notKept, false};
}

// A version known only by its copy, its time the copy's.
Version versionWithoutRecord(int dir, VersionNumber number) {
  Version v{number, std::string(kUnknown), std::string(kUnknown), -1, 0, true};
  struct stat st;
  if (fstatat(dir, copyName(number).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
    v.time = isoTime(st.st_mtim.tv_sec);
  return v;
}

}  // namespace

std::string directoryName(const WriteTarget& list) {
  std::string_view name = list.name();
  if (name.ends_with(kListSuffix) && name.size() > kListSuffix.size())
    name.remove_suffix(kListSuffix.size());
  return std::string(name) + std::string(kDirectorySuffix);
}

std::string directoryPath(const WriteTarget& list) {
  const std::string& path = list.path();
  const std::size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
         directoryName(list);
}

int readHistory(const WriteTarget& list, History& history) {
  history = History{};
  UniqueFd dir;
  if (const int error = openDirectory(list, nullptr, dir); error != 0)
    return error == ENOENT ? 0 : error;
  State state;
  load(list, dir.get(), true, state);
  // The newest changes are shown; an older version is one that a change killed as it dropped it
  // left behind, its copy perhaps gone already.
  std::vector<VersionNumber> numbers = state.numbers();
  const std::size_t shown = kKeptChanges - (state.edit ? 1 : 0);
  if (numbers.size() > shown)
    numbers.erase(numbers.begin(), numbers.end() - static_cast<std::ptrdiff_t>(shown));
  for (const VersionNumber number : numbers) {
    const auto record = state.records.find(number);
    // A hand edit and a version whose copy failed have none to miss.
    const bool kept = record == state.records.end() ||
                      (record->second.notKept == 0 && record->second.change != kEditChange);
    if (kept && state.copies.count(number) == 0)
      state.problems.push_back({copyName(number), ENOENT});
    history.versions.push_back(record != state.records.end()
                                   ? versionOf(record->second)
                                   : versionWithoutRecord(dir.get(), number));
  }
  if (state.edit) history.versions.push_back(versionOf(*state.edit));
  history.problems = std::move(state.problems);
  history.numbersLeft = (state.edit ? state.edit->number : state.index.highest) < kHighestNumber;
  return 0;
}

const Version* findVersion(const History& history, VersionNumber number) {
  for (const Version& v : history.versions)
    if (v.number == number) return &v;
  return nullptr;
}

int readLastChange(const WriteTarget& list, LastChange& last) {
  last = LastChange{};
  UniqueFd dir;
  if (const int error = openDirectory(list, nullptr, dir); error != 0) return error;
  State state;
  load(list, dir.get(), false, state);
  struct stat st;
  const std::optional<FileIdentity> current = identityOf(list, st);
  const ListSwap& swap = state.index.swap;
  last.wroteList = swap.written && current && *swap.written == *current;
  last.numbersLeft = (state.edit ? state.edit->number : state.index.highest) < kHighestNumber;
  std::string text;
  Record record;
  if (state.index.last > 0 && readFile(dir.get(), recordName(state.index.last), text) == 0 &&
      parse(text, record)) {
    last.change = std::move(record.change);
    last.notKept = record.notKept;
  }
  return 0;
}

int readVersion(const WriteTarget& list, VersionNumber number, std::size_t mostBytes,
                std::string& bytes) {
  UniqueFd dir;
  if (const int error = openDirectory(list, nullptr, dir); error != 0) return error;
  return readRegularFileAt(dir.get(), copyName(number).c_str(), mostBytes, bytes);
}

ListChange::ListChange(const WriteTarget& list, std::string change, long replacedClients,
                       long writtenClients)
    : list_(list),
      change_(std::move(change)),
      replacedClients_(replacedClients),
      writtenClients_(writtenClients) {}

int ListChange::prepare() {
  struct stat st;
  if (list_.stat(&st) == 0 && S_ISREG(st.st_mode)) replaced_ = st;
  access_ = accessFor(replaced_);
  if (const int error = openDirectory(list_, &access_, dir_, &created_); error != 0) {
    dir_ = UniqueFd();
    notKept_ = replaced_ ? error : 0;
    return 0;
  }
  State state;
  load(list_, dir_.get(), false, state);
  // First the versions of changes that never came, then the temporary files that show they
  // never came: a change killed meanwhile leaves nothing a reader takes for a change that came.
  for (const VersionNumber number : state.leftovers) remove(number);
  for (const std::string& name : state.temporaries) removeIfOwn(dir_.get(), name);
  removeTemporariesBesideList(list_);
  kept_ = state.numbers();
  highest_ = state.index.highest;
  if (state.edit) {
    if (replaced_ && state.edit->number == kHighestNumber) return EOVERFLOW;
    // One that can't be written is lost; the change goes on.
    writeFile(recordName(state.edit->number), serialized(*state.edit));
    highest_ = state.edit->number;
    kept_.push_back(highest_);
  }
  return replaced_ && highest_ == kHighestNumber ? EOVERFLOW : 0;
}

BeforeRename ListChange::beforeRename() {
  return [this](const struct stat& written) {
    try {
      keep(written);
    } catch (const std::bad_alloc&) {
      notKept_ = ENOMEM;
    }
  };
}

void ListChange::keep(const struct stat& written) {
  if (!dir_.valid()) return;
  ListSwap swap{std::nullopt, replacedClients_, FileIdentity::of(written), writtenClients_};
  VersionNumber number = 0;
  if (replaced_) {
    number = highest_ = highest_ + 1;
    swap.replaced = FileIdentity::of(*replaced_);
    notKept_ = copyList(number, swap);
    const Record record{number, isoTime(time(nullptr)), change_, notKept_, swap};
    if (const int error = writeFile(recordName(number), serialized(record)); error != 0) {
      remove(number);
      notKept_ = error;
      number = 0;
    }
  }
  // An index that can't be written (a full disk) costs the version nothing: the index it leaves
  // goes, and readers rebuild it from the records, where this change's shows whether it came.
  if (writeFile(kIndexName, serialized(Index{highest_, number, swap})) != 0)
    removeIfOwn(dir_.get(), kIndexName);
  number_ = number;
  if (number != 0) kept_.push_back(number);
}

int ListChange::copyList(VersionNumber number, ListSwap& swap) const {
  UniqueFd source(
      openat(list_.dir(), list_.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st;
  if (!source.valid() || fstat(source.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  swap.replaced = FileIdentity::of(st);  // the file copied, should a hand edit have come since
  WriteTarget copy;
  int error = WriteTarget::inDirectory(dir_.get(), copyName(number),
                                       directoryPath(list_) + "/" + copyName(number), copy);
  return error != 0 ? error : copyToTarget(copy, source.get(), access_);
}

int ListChange::writeFile(const std::string& name, std::string_view content) const {
  WriteTarget file;
  const int error =
      WriteTarget::inDirectory(dir_.get(), name, directoryPath(list_) + "/" + name, file);
  return error != 0 ? error : replaceTarget(file, content, {}, access_);
}

// The copy goes first: a record without its copy still tells what was there.
void ListChange::remove(VersionNumber number) const {
  removeIfOwn(dir_.get(), copyName(number));
  removeIfOwn(dir_.get(), recordName(number));
}

void ListChange::finish(bool replaced) {
  if (!dir_.valid()) return;
  if (!replaced) {
    // The list is still the file this version copied: it goes, and the index reads as a change
    // that never came. A directory this change made goes with what it wrote.
    if (number_ != 0) remove(number_);
    if (created_) {
      removeIfOwn(dir_.get(), kIndexName);
      unlinkat(list_.dir(), directoryName(list_).c_str(), AT_REMOVEDIR);
    }
    return;
  }
  std::sort(kept_.begin(), kept_.end());
  const std::size_t dropped = kept_.size() > kKeptChanges ? kept_.size() - kKeptChanges : 0;
  for (std::size_t i = 0; i < dropped; ++i) remove(kept_[i]);
}

int replaceList(const WriteTarget& list, std::string_view content, std::string change,
                long replacedClients, long writtenClients, int* notKept) {
  ListChange history(list, std::move(change), replacedClients, writtenClients);
  if (const int error = history.prepare(); error != 0) return error;
  const int error = replaceTarget(list, content, history.beforeRename());
  history.finish(error == 0);
  if (notKept != nullptr) *notKept = history.notKept();
  return error;
}

}  // namespace kyto::history
