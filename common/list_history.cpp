#include "common/list_history.h"

#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <set>
#include <string_view>

#include "common/descriptors.h"
#include "common/safe_text.h"

namespace kyto::history {

namespace {

constexpr std::string_view kIndexHeader = "kyto client list history 1";
constexpr char kIndexSuffix[] = ".history";

// ---- names and texts

std::string indexName(const WriteTarget& list) {
  return std::string(list.name()) + kIndexSuffix;
}

std::string versionName(const WriteTarget& list, long number) {
  return std::string(list.name()) + ".~" + std::to_string(number) + "~";
}

// The number of a version file of this list, or 0 for any other name.
long versionNumberOf(const WriteTarget& list, std::string_view name) {
  const std::string prefix = std::string(list.name()) + ".~";
  if (!name.starts_with(prefix) || !name.ends_with("~")) return 0;
  const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - 1);
  long number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return error == std::errc() && end == digits.data() + digits.size() && number > 0 ? number : 0;
}

std::string isoTime(time_t seconds) {
  struct tm utc;
  char text[32];
  if (gmtime_r(&seconds, &utc) == nullptr ||
      strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
    return "unknown";
  return text;
}

// A change's text may hold any byte a MAC text may: the index's separators are escaped.
std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

// ---- the index: a header, "next N", "written IDENTITY CLIENTS", then one line per version,
// oldest first: NUMBER TIME CLIENTS FILE IDENTITY CHANGE, tab-separated ("-" for no file and no
// identity).

std::string identityText(const std::optional<FileIdentity>& identity) {
  if (!identity) return "-";
  return std::to_string(identity->device) + ":" + std::to_string(identity->inode) + ":" +
         std::to_string(identity->size) + ":" + std::to_string(identity->mtimeNs);
}

template <typename Number>
bool readNumber(std::string_view text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

bool readIdentity(std::string_view text, std::optional<FileIdentity>& identity) {
  if (text == "-") {
    identity.reset();
    return true;
  }
  FileIdentity id;
  std::string_view parts[4];
  for (std::string_view& part : parts) {
    const std::size_t colon = text.find(':');
    part = text.substr(0, colon);
    text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
  }
  if (!text.empty() || !readNumber(parts[0], id.device) || !readNumber(parts[1], id.inode) ||
      !readNumber(parts[2], id.size) || !readNumber(parts[3], id.mtimeNs))
    return false;
  identity = id;
  return true;
}

std::vector<std::string_view> fields(std::string_view line, char separator) {
  std::vector<std::string_view> out;
  for (;;) {
    const std::size_t at = line.find(separator);
    out.push_back(line.substr(0, at));
    if (at == std::string_view::npos) return out;
    line.remove_prefix(at + 1);
  }
}

std::string serialized(const History& history) {
  std::string text(kIndexHeader);
  text += "\nnext\t" + std::to_string(history.next) + "\nwritten\t" +
          identityText(history.written) + "\t" + std::to_string(history.writtenClients) + "\n";
  for (const Version& v : history.versions) {
    text += std::to_string(v.number) + "\t" + v.time + "\t" + std::to_string(v.clients) + "\t" +
            (v.file.empty() ? "-" : v.file) + "\t" + identityText(v.replaced) + "\t" +
            escaped(v.change) + "\n";
  }
  return text;
}

bool readVersionLine(std::string_view line, Version& v) {
  const std::vector<std::string_view> f = fields(line, '\t');
  if (f.size() != 6 || !readNumber(f[0], v.number) || v.number <= 0 ||
      !readNumber(f[2], v.clients) || !readIdentity(f[4], v.replaced))
    return false;
  v.time = f[1];
  v.file = f[3] == "-" ? std::string() : std::string(f[3]);
  std::optional<std::string> change = unescaped(f[5]);
  if (!change) return false;
  v.change = std::move(*change);
  return v.file.find('/') == std::string::npos;
}

bool parseIndex(std::string_view text, History& history) {
  std::vector<std::string_view> lines = fields(text, '\n');
  if (lines.empty() || !lines.back().empty()) return false;  // a whole index ends in a newline
  lines.pop_back();
  if (lines.size() < 3 || lines[0] != kIndexHeader) return false;
  const std::vector<std::string_view> next = fields(lines[1], '\t');
  const std::vector<std::string_view> written = fields(lines[2], '\t');
  if (next.size() != 2 || next[0] != "next" || !readNumber(next[1], history.next) ||
      written.size() != 3 || written[0] != "written" ||
      !readIdentity(written[1], history.written) || !readNumber(written[2], history.writtenClients))
    return false;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    Version v;
    if (!readVersionLine(lines[i], v) || v.number >= history.next) return false;
    if (!history.versions.empty() && v.number <= history.versions.back().number) return false;
    history.versions.push_back(std::move(v));
  }
  return true;
}

int readIndex(const WriteTarget& list, History& history) {
  std::string text;
  const int error = readRegularFileAt(list.dir(), indexName(list).c_str(), kMostIndexBytes, text);
  if (error == ENOENT) return 0;       // no history yet
  if (error == EISDIR) return EINVAL;  // an index that is no regular file, as any other
  if (error != 0) return error;
  if (!parseIndex(text, history)) {
    history = History{};
    return EBADMSG;
  }
  history.indexRead = true;
  return 0;
}

// A change cut off before its list was renamed into place left the list as the version it kept:
// that change never happened. A list that is not the one the last change wrote was changed by
// hand since.
void reconcile(const WriteTarget& list, History& history) {
  struct stat st;
  const bool exists = list.stat(&st) == 0;
  const std::optional<FileIdentity> current =
      exists ? std::optional(FileIdentity::of(st)) : std::nullopt;
  auto last = std::find_if(history.versions.rbegin(), history.versions.rend(),
                           [](const Version& v) { return v.replaced.has_value(); });
  if (last != history.versions.rend() && current && *last->replaced == *current) {
    history.written = current;
    history.writtenClients = last->clients;
    history.versions.erase(std::next(last).base(), history.versions.end());
  }
  if (!history.written || history.written == current) return;
  Version edit;
  edit.number = history.next++;
  edit.time = isoTime(exists ? st.st_mtim.tv_sec : time(nullptr));
  edit.change = "edit";
  edit.clients = history.writtenClients;
  history.versions.push_back(std::move(edit));
  history.written = current;
  history.writtenClients = -1;
}

void say(const WriteTarget& list, const char* what, int error) {
  const std::string path = withoutControls(list.path());
  std::fprintf(stderr, "History of %s: %s (%s); the change goes on\n", path.c_str(), what,
               std::strerror(error));
}

// The version files beside the list, in names; returns the highest number among them, 0 when
// there is none.
long versionFilesOf(const WriteTarget& list, std::vector<std::string>& names) {
  // The list's directory is held as a path only (a directory one may write but not read is
  // still written), so it is opened again to be read; one that can't be read lists nothing.
  const int dirFd = openat(list.dir(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return 0;
  DIR* dir = fdopendir(dirFd);
  if (dir == nullptr) {
    close(dirFd);
    return 0;
  }
  long highest = 0;
  while (const dirent* entry = readdir(dir)) {
    const long number = versionNumberOf(list, entry->d_name);
    if (number == 0) continue;
    highest = std::max(highest, number);
    names.push_back(entry->d_name);
  }
  closedir(dir);
  return highest;
}

}  // namespace

FileIdentity FileIdentity::of(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::int64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

int readHistory(const WriteTarget& list, History& history) {
  history = History{};
  if (const int error = readIndex(list, history); error != 0) return error;
  reconcile(list, history);
  return 0;
}

const Version* findVersion(const History& history, long number) {
  for (const Version& v : history.versions)
    if (v.number == number) return &v;
  return nullptr;
}

ListChange::ListChange(const WriteTarget& list, std::string change, long replacedClients,
                       long writtenClients, std::string backupFile)
    : list_(list),
      change_(std::move(change)),
      replacedClients_(replacedClients),
      writtenClients_(writtenClients),
      backupFile_(std::move(backupFile)) {}

BeforeRename ListChange::beforeRename() {
  return [this](const struct stat& written) {
    try {
      keep(written);
    } catch (const std::bad_alloc&) {
      say(list_, "the replaced list was not kept", ENOMEM);
    }
  };
}

void ListChange::keep(const struct stat& written) {
  History history;
  if (const int error = readHistory(list_, history); error != 0) {
    say(list_, "the index could not be read, so it starts anew", error);
    history = History{};
  }
  mayPrune_ = history.indexRead;
  // Numbers never come twice, also after a damaged index or a change cut off.
  std::vector<std::string> versionFiles;
  history.next = std::max(history.next, versionFilesOf(list_, versionFiles) + 1);
  struct stat st;
  if (list_.stat(&st) == 0 && S_ISREG(st.st_mode)) {
    Version v;
    v.number = history.next++;
    v.time = isoTime(time(nullptr));
    v.change = change_;
    v.clients = replacedClients_;
    v.replaced = FileIdentity::of(st);
    if (!backupFile_.empty()) {
      v.file = backupFile_;
    } else if (const std::string name = versionName(list_, v.number);
               linkat(list_.dir(), list_.name(), list_.dir(), name.c_str(), 0) == 0) {
      v.file = keptFile_ = name;
    } else {
      say(list_, "the replaced list was not kept", errno);
    }
    history.versions.push_back(std::move(v));
  }
  while (history.versions.size() > kKeptChanges) {
    const std::string& file = history.versions.front().file;
    if (versionNumberOf(list_, file) != 0) dropped_.push_back(file);
    history.versions.erase(history.versions.begin());
  }
  history.written = FileIdentity::of(written);
  history.writtenClients = writtenClients_;
  WriteTarget index;
  int error = list_.sibling(indexName(list_), index);
  if (error == 0) error = replaceTarget(index, serialized(history));
  if (error != 0) {
    say(list_, "the index could not be written", error);
    if (!keptFile_.empty()) unlinkat(list_.dir(), keptFile_.c_str(), 0);
    keptFile_.clear();
    dropped_.clear();
    return;
  }
  indexWritten_ = true;
  // What the index no longer names, and version files a change cut off left behind (the one
  // this change kept came after the look at the directory).
  if (mayPrune_) {
    std::set<std::string> named;
    for (const Version& v : history.versions) named.insert(v.file);
    for (const std::string& file : versionFiles)
      if (named.count(file) == 0) dropped_.push_back(file);
  }
}

void ListChange::finish(bool replaced) {
  if (!replaced) {
    // The index names the version, but reads it as a change that never came (the list is still
    // that file), and the next change removes what is left.
    if (!keptFile_.empty()) unlinkat(list_.dir(), keptFile_.c_str(), 0);
    return;
  }
  if (!indexWritten_) return;
  std::sort(dropped_.begin(), dropped_.end());
  dropped_.erase(std::unique(dropped_.begin(), dropped_.end()), dropped_.end());
  for (const std::string& file : dropped_) unlinkat(list_.dir(), file.c_str(), 0);
}

int replaceList(const WriteTarget& list, std::string_view content, std::string change,
                long replacedClients, long writtenClients, std::string backupFile) {
  ListChange history(list, std::move(change), replacedClients, writtenClients,
                     std::move(backupFile));
  const int error = replaceTarget(list, content, history.beforeRename());
  history.finish(error == 0);
  return error;
}

}  // namespace kyto::history
