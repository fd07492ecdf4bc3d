// The server settings reader on arbitrary configuration files, against a plain reading of the
// same rules over the whole text: the streaming reader must find the same value and report the
// same lines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/server_settings.h"
#include "common/appliance_paths.h"
#include "fuzz_support.h"

namespace {

bool isWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isWhite(text.front())) text.remove_prefix(1);
  while (!text.empty() && isWhite(text.back())) text.remove_suffix(1);
  return text;
}

struct Expected {
  std::int32_t value = 0;
  int malformedLines = 0;
};

Expected readWhole(std::string_view text) {
  Expected expected;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    line = trimmed(line.substr(0, line.find('\0')));
    if (line.empty() || line.front() == '#' || line.front() == '[') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      ++expected.malformedLines;
      continue;
    }
    if (trimmed(line.substr(0, equals)) != "deny_anonymous") continue;
    const std::string value(line.substr(equals + 1));
    const long number = std::strtol(value.c_str(), nullptr, 10);
    expected.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
    break;
  }
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* errors = std::tmpfile();
  kyto::fuzz::writeRootFile(kyto::paths::kServerSettings, data, size);
  std::rewind(errors);
  std::int32_t value = -1;
  if (kyto::clientadm::readServerSettings(&value, errors) != 0) __builtin_trap();
  const long written = std::ftell(errors);
  const Expected expected = readWhole(std::string_view(reinterpret_cast<const char*>(data), size));
  const long reported = expected.malformedLines * static_cast<long>(sizeof "parsing error file");
  if (value != expected.value || written != reported) __builtin_trap();
  return 0;
}
