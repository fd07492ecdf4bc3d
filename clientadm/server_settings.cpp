#include "server_settings.h"

#include <kytoutil/kytoutil.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "common/appliance_paths.h"
#include "number_text.h"

namespace kyto::clientadm {

namespace {

// Lines longer than this are handled in pieces, each piece as a line of its own.
constexpr int kLineBufferSize = 1024;
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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::unique_ptr<std::FILE, FileCloser> openServerSettings() {
  const std::string appliancePath = paths::appliancePaths().serverSettings;
  char* path = GetUPnPConfig(appliancePath.c_str());
  if (path == nullptr) return nullptr;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "r"));
  std::free(path);
  return file;
}

}  // namespace

int readServerSettings(std::int32_t* value, std::FILE* errors) {
  *value = 0;
  const auto file = openServerSettings();
  if (!file) return 1;
  char line[kLineBufferSize];
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    const SettingLine setting = readSettingLine(line);
    if (setting.malformed) std::fputs("parsing error file\n", errors);
    if (setting.isDenyAnonymous) {
      *value = setting.value;
      break;  // the first deny_anonymous line decides
    }
  }
  return 0;
}

}  // namespace kyto::clientadm
