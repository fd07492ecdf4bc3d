#include "server_settings.h"

#include <kytoutil/kytoutil.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/appliance_paths.h"
#include "common/regular_file.h"
#include "number_text.h"

namespace kyto::clientadm {

namespace {

constexpr std::string_view kDenyAnonymousKey = "deny_anonymous";

bool isWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimLeft(std::string_view text) {
  while (!text.empty() && isWhite(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view trimRight(std::string_view text) {
  while (!text.empty() && isWhite(text.back())) text.remove_suffix(1);
  return text;
}

// Only a line that ends in a newline loses its trailing white space, so CR-LF reads like LF.
std::string_view trimLineEnd(std::string_view line) {
  if (line.empty() || line.back() != '\n') return line;
  return trimRight(line);
}

struct SettingLine {
  bool malformed = false;  // neither blank, comment, section nor key = value
  bool isDenyAnonymous = false;
  std::int32_t value = 0;
};

SettingLine readSettingLine(std::string_view line) {
  SettingLine result;
  line = trimLeft(trimLineEnd(line));
  if (line.empty() || line.front() == '#' || line.front() == '[') return result;
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) {
    result.malformed = true;
    return result;
  }
  if (trimRight(line.substr(0, equals)) != kDenyAnonymousKey) return result;
  result.isDenyAnonymous = true;
  const std::string valueText(trimLeft(line.substr(equals + 1)));
  result.value = parseDecimal32(valueText.c_str());
  return result;
}

// Everything the descriptor gives, or an errno value: EFBIG when it is more than limit bytes.
int readAtMost(int fd, std::size_t limit, std::string& text) {
  text.clear();
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    if (text.size() + static_cast<std::size_t>(n) > limit) return EFBIG;
    text.append(chunk, static_cast<std::size_t>(n));
  }
}

// The whole configuration file, or an errno value.
int readSettingsText(std::string& text) {
  const std::string appliancePath = paths::appliancePaths().serverSettings;
  char* path = GetUPnPConfig(appliancePath.c_str());
  if (path == nullptr) return ENOMEM;
  UniqueFd file;
  const int error = openRegularFile(path, file);
  std::free(path);
  if (error != 0) return error;
  return readAtMost(file.get(), kServerSettingsMaxBytes, text);
}

// The next line of text with its newline, if it has one. A NUL ends the line's content: the
// values are read as C strings, and the file was always read so.
std::string_view takeLine(std::string_view& text) {
  const auto newline = text.find('\n');
  const std::size_t length = newline == std::string_view::npos ? text.size() : newline + 1;
  std::string_view line = text.substr(0, length);
  text.remove_prefix(length);
  return line.substr(0, line.find('\0'));
}

}  // namespace

int readServerSettings(std::int32_t* value, std::FILE* errors) {
  *value = 0;
  std::string content;
  if (readSettingsText(content) != 0) return 1;
  std::string_view text = content;
  while (!text.empty()) {
    const SettingLine setting = readSettingLine(takeLine(text));
    if (setting.malformed) std::fputs("parsing error file\n", errors);
    if (setting.isDenyAnonymous) {
      *value = setting.value;
      break;  // the first deny_anonymous line decides
    }
  }
  return 0;
}

}  // namespace kyto::clientadm
