#include "common/client_schema.h"

#include <cerrno>
#include <cstdlib>

namespace kyto::schema {

namespace {

// An optional sign and one or more digits, nothing else.
bool isSignedDigits(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::int32_t parseDecimal32(const char* text) {
  if (text == nullptr) return 0;
  // A single digit, what nearly every stored number is, is read without strtol.
  if (text[0] >= '0' && text[0] <= '9' && text[1] == '\0') return text[0] - '0';
  const long value = std::strtol(text, nullptr, 10);
  // Keep the low 32 bits through the unsigned type, which is well defined for every long.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(value)));
}

bool isDecimalText(std::string_view text) {
  // The white space that strtol skips in the C locale.
  const auto start = text.find_first_not_of(" \t\n\v\f\r");
  return start != std::string_view::npos && isSignedDigits(text.substr(start));
}

std::optional<long> plainDecimalValue(const std::string& text) {
  if (!isSignedDigits(text)) return std::nullopt;
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return value;
}

int profileFrom(const char* text) {
  if (text == nullptr) return kNoProfile;
  const std::int32_t value = parseDecimal32(text);
  return value >= 0 && value <= kHighestProfileId ? value : kNoProfile;
}

int denyFrom(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  return parseDecimal32(text) != 0 ? 1 : 0;
}

}  // namespace kyto::schema
