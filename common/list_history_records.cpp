#include "common/list_history_records.h"

#include <time.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/atomic_file.h"

namespace kyto::history {

namespace {

constexpr std::string_view kRecordHeader = "kyto client list history record 1";
constexpr std::string_view kIndexHeader = "kyto client list history index 1";
constexpr std::string_view kVersionPrefix = "version-";
constexpr std::string_view kCopySuffix = ".xml";
constexpr std::string_view kRecordSuffix = ".record";
constexpr std::string_view kCutMark = "...";

template <typename Number>
bool readNumber(std::string_view text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

// A version's number as the history writes it: no sign, no leading zero, 1 to kHighestNumber.
VersionNumber numberIn(std::string_view digits) {
  VersionNumber number = 0;
  if (digits.empty() || digits[0] == '0' || digits.find_first_not_of("0123456789") != digits.npos ||
      !readNumber(digits, number))
    return 0;
  return number;
}

// The number of a name "version-N" + suffix, or 0.
VersionNumber versionNumberOf(std::string_view name, std::string_view suffix) {
  if (!name.starts_with(kVersionPrefix) || !name.ends_with(suffix)) return 0;
  return numberIn(
      name.substr(kVersionPrefix.size(), name.size() - kVersionPrefix.size() - suffix.size()));
}

// ---- texts in a record: a change may hold any byte a caller's MAC text holds, so the record's
// separators are escaped.

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
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string identityText(const std::optional<FileIdentity>& identity) {
  if (!identity) return "-";
  return std::to_string(identity->device) + ":" + std::to_string(identity->inode) + ":" +
         std::to_string(identity->size) + ":" + std::to_string(identity->mtimeNs);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> out;
  for (;;) {
    const std::size_t at = text.find(separator);
    out.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return out;
    text.remove_prefix(at + 1);
  }
}

bool readIdentity(std::string_view text, std::optional<FileIdentity>& identity) {
  identity.reset();
  if (text == "-") return true;
  const std::vector<std::string_view> parts = split(text, ':');
  FileIdentity id;
  if (parts.size() != 4 || !readNumber(parts[0], id.device) || !readNumber(parts[1], id.inode) ||
      !readNumber(parts[2], id.size) || !readNumber(parts[3], id.mtimeNs))
    return false;
  identity = id;
  return true;
}

std::string swapText(const ListSwap& swap) {
  return "replaced\t" + identityText(swap.replaced) + "\t" + std::to_string(swap.replacedClients) +
         "\nwritten\t" + identityText(swap.written) + "\t" + std::to_string(swap.writtenClients) +
         "\n";
}

// The lines of a record or an index, each "KEY\tVALUE..." in a fixed order after a header.
class Lines {
 public:
  Lines(std::string_view text, std::string_view header) {
    std::vector<std::string_view> lines = split(text, '\n');
    // A whole file ends in a newline: one cut off while it was written is no file.
    whole_ = lines.size() >= 2 && lines.back().empty() && lines.front() == header;
    if (whole_) lines_.assign(lines.begin() + 1, lines.end() - 1);
  }

  // The values of the next line, which must have this key and this many values.
  std::vector<std::string_view> next(std::string_view key, std::size_t values) {
    if (!whole_ || at_ == lines_.size()) return fail();
    std::vector<std::string_view> fields = split(lines_[at_++], '\t');
    if (fields.size() != values + 1 || fields[0] != key) return fail();
    fields.erase(fields.begin());
    return fields;
  }
  template <typename Number>
  bool number(std::string_view key, Number& value) {
    const std::vector<std::string_view> v = next(key, 1);
    return whole_ && readNumber(v[0], value);
  }
  bool swap(ListSwap& swap) {
    const std::vector<std::string_view> replaced = next("replaced", 2);
    if (!whole_ || !readIdentity(replaced[0], swap.replaced) ||
        !readNumber(replaced[1], swap.replacedClients))
      return false;
    const std::vector<std::string_view> written = next("written", 2);
    return whole_ && readIdentity(written[0], swap.written) &&
           readNumber(written[1], swap.writtenClients);
  }
  // Whether every line was read, and nothing more is there.
  bool done() const { return whole_ && at_ == lines_.size(); }

 private:
  std::vector<std::string_view> fail() {
    whole_ = false;
    return {};
  }

  std::vector<std::string_view> lines_;
  std::size_t at_ = 0;
  bool whole_ = false;
};

}  // namespace

FileIdentity FileIdentity::of(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::int64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

HistoryFile classify(std::string_view name) {
  if (name == kIndexName) return {FileKind::Index, 0};
  if (const VersionNumber n = versionNumberOf(name, kCopySuffix); n != 0)
    return {FileKind::Copy, n};
  if (const VersionNumber n = versionNumberOf(name, kRecordSuffix); n != 0)
    return {FileKind::Record, n};
  const std::string_view target = temporaryTargetOf(name);
  if (!target.empty() && classify(target).kind != FileKind::Foreign)
    return {FileKind::Temporary, 0};
  return {};
}

std::string copyName(VersionNumber number) {
  return std::string(kVersionPrefix) + std::to_string(number) + std::string(kCopySuffix);
}

std::string recordName(VersionNumber number) {
  return std::string(kVersionPrefix) + std::to_string(number) + std::string(kRecordSuffix);
}

std::string changeText(std::string_view verb, std::string_view subject) {
  std::string text = std::string(verb) + " " + std::string(subject);
  if (text.size() <= kMostChangeBytes) return text;
  std::size_t cut = kMostChangeBytes - kCutMark.size();
  // Not inside a UTF-8 character: back to the start of the one the cut falls in.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text + std::string(kCutMark);
}

// From the civil calendar of <chrono>: gmtime and strftime read the local time zone (a file
// and seven system calls for each change) to write a time that names none.
std::string isoTime(time_t seconds) {
  using namespace std::chrono;
  const sys_seconds at{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> time{at - day};
  char text[48];
  const int length = std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
      static_cast<long>(time.seconds().count()));
  return date.ok() && length > 0 && static_cast<std::size_t>(length) < sizeof text ? text
                                                                                   : "unknown";
}

std::string serialized(const Record& record) {
  return std::string(kRecordHeader) + "\nnumber\t" + std::to_string(record.number) + "\ntime\t" +
         escaped(record.time) + "\nchange\t" + escaped(record.change) + "\nnotKept\t" +
         std::to_string(record.notKept) + "\n" + swapText(record.swap);
}

std::string serialized(const Index& index) {
  return std::string(kIndexHeader) + "\nhighest\t" + std::to_string(index.highest) + "\nlast\t" +
         std::to_string(index.last) + "\n" + swapText(index.swap);
}

bool parse(std::string_view text, Record& record) {
  Lines lines(text, kRecordHeader);
  if (!lines.number("number", record.number)) return false;
  const std::vector<std::string_view> time = lines.next("time", 1);
  if (time.empty()) return false;
  const std::vector<std::string_view> change = lines.next("change", 1);
  if (change.empty()) return false;
  std::optional<std::string> timeText = unescaped(time[0]);
  std::optional<std::string> changeText = unescaped(change[0]);
  if (!timeText || !changeText || changeText->size() > kMostChangeBytes) return false;
  record.time = std::move(*timeText);
  record.change = std::move(*changeText);
  return lines.number("notKept", record.notKept) && lines.swap(record.swap) && lines.done() &&
         record.number > 0;
}

bool parse(std::string_view text, Index& index) {
  Lines lines(text, kIndexHeader);
  return lines.number("highest", index.highest) && lines.number("last", index.last) &&
         lines.swap(index.swap) && lines.done() && index.highest >= 0 && index.last >= 0 &&
         index.last <= index.highest;
}

}  // namespace kyto::history
