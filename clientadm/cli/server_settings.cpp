#include "server_settings.h"

#include <kytoutil/kytoutil.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/appliance_paths.h"
#include "common/descriptors.h"

namespace kyto::clientadm {

namespace {

constexpr std::string_view kDenyAnonymousKey = "deny_anonymous";

bool isWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads the file's lines as they stream past, a byte at a time, so that a line of any length is
// one line and no line is ever held whole: a huge comment can't hide the setting after it. What
// each line means is decided as soon as its bytes tell: the key is the text before the first
// '=', its trailing white space dropped; the value is read as strtol reads base 10 (saturating at
// the long's range) and narrowed to 32 bits by its low bits. A NUL ends a line's content.
class SettingsScanner {
 public:
  explicit SettingsScanner(std::FILE* errors) : errors_(errors) {}

  // Takes the next bytes; false once the first deny_anonymous line has decided.
  bool feed(std::string_view bytes) {
    for (const char c : bytes)
      if (!step(c)) return false;
    return true;
  }
  // The end of the file ends its last line.
  void finish() {
    if (!decided_) step('\n');
  }
  bool decided() const { return decided_; }
  std::int32_t value() const { return value_; }

 private:
  enum class Phase { Lead, Key, ValueLead, Digits, Skip };

  bool step(char c) {
    switch (phase_) {
      case Phase::Lead:
        if (c == '\n' || isWhite(c)) return true;
        if (c == '#' || c == '[' || c == '\0') return skipRest(c);
        startKey();
        return keyByte(c);
      case Phase::Key:
        return keyByte(c);
      case Phase::ValueLead:
        if (c != '\n' && isWhite(c)) return true;
        if (c == '+' || c == '-') {
          negative_ = c == '-';
          phase_ = Phase::Digits;
          return true;
        }
        phase_ = Phase::Digits;
        return digitByte(c);
      case Phase::Digits:
        return digitByte(c);
      case Phase::Skip:
        if (c == '\n') phase_ = Phase::Lead;
        return true;
    }
    return true;
  }

  // Ignores the rest of the line; c is the byte that made it so.
  bool skipRest(char c) {
    phase_ = c == '\n' ? Phase::Lead : Phase::Skip;
    return true;
  }

  void startKey() {
    phase_ = Phase::Key;
    matched_ = 0;
    keyDiffers_ = false;
    keyEnded_ = false;
  }

  bool keyByte(char c) {
    if (c == '=') {
      const bool isDenyAnonymous = !keyDiffers_ && matched_ == kDenyAnonymousKey.size();
      if (!isDenyAnonymous) return skipRest(c);
      phase_ = Phase::ValueLead;
      return true;
    }
    if (c == '\n' || c == '\0') {
      std::fputs("parsing error file\n", errors_);  // neither blank, comment, section nor key =
      return skipRest(c);
    }
    if (isWhite(c)) {
      keyEnded_ = true;
    } else if (keyEnded_ || matched_ == kDenyAnonymousKey.size() ||
               c != kDenyAnonymousKey[matched_]) {
      keyDiffers_ = true;
    } else {
      ++matched_;
    }
    return true;
  }

  bool digitByte(char c) {
    if (isDigit(c)) {
      // Past every long's magnitude it stays put, as strtol saturates.
      constexpr unsigned long kBeyondLong = static_cast<unsigned long>(LONG_MAX) + 2;
      const auto digit = static_cast<unsigned long>(c - '0');
      magnitude_ = magnitude_ > (kBeyondLong - digit) / 10 ? kBeyondLong : magnitude_ * 10 + digit;
      return true;
    }
    decide();
    return false;
  }

  void decide() {
    const unsigned long most = static_cast<unsigned long>(LONG_MAX) + (negative_ ? 1 : 0);
    const unsigned long clamped = magnitude_ > most ? most : magnitude_;
    const unsigned long bits = negative_ ? 0UL - clamped : clamped;
    // Keep the low 32 bits through the unsigned type, which is well defined for every value.
    value_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    decided_ = true;
  }

  std::FILE* errors_;
  Phase phase_ = Phase::Lead;
  std::size_t matched_ = 0;  // bytes of the key that matched deny_anonymous so far
  bool keyDiffers_ = false;
  bool keyEnded_ = false;  // white space came after the key's text
  bool negative_ = false;
  unsigned long magnitude_ = 0;
  bool decided_ = false;
  std::int32_t value_ = 0;
};

// The configuration file, opened as a regular file, or an invalid descriptor.
UniqueFd openSettingsFile() {
  const std::string appliancePath = paths::appliancePaths().serverSettings;
  char* path = GetUPnPConfig(appliancePath.c_str());
  if (path == nullptr) return UniqueFd();
  UniqueFd file;
  openRegularFile(path, file);
  std::free(path);
  return file;
}

}  // namespace

int readServerSettings(std::int32_t* value, std::FILE* errors) {
  *value = 0;
  const UniqueFd file = openSettingsFile();
  if (!file.valid()) return 1;
  SettingsScanner scanner(errors);
  char chunk[4096];  // a settings file is small; a deeper stack costs every start page faults
  for (;;) {
    const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a read error ends the file where it stands
    if (!scanner.feed(std::string_view(chunk, static_cast<std::size_t>(n)))) break;
  }
  scanner.finish();
  if (scanner.decided()) *value = scanner.value();
  return 0;
}

}  // namespace kyto::clientadm
