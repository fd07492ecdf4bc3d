#include "common/hex_digit.h"
#include "kytoutil/kytoutil.h"

namespace {

constexpr unsigned kFieldLimit = 0xFF;
constexpr int kLastField = 5;

// The form nearly every text has, six fields of two digits ("00:1d:5a:10:22:01", either case),
// read in one go: the result is the one the general walk below gives for such a text, and any
// other text is left to that walk with nothing written.
bool readSixPairs(const char* text, char* bytes) {
  char read[kLastField + 1];
  for (int field = 0; field <= kLastField; ++field, text += 3) {
    // Each test stops at the terminator before a byte beyond it is looked at.
    const int high = kyto::hexDigitValue(text[0]);
    if (high < 0) return false;
    const int low = kyto::hexDigitValue(text[1]);
    if (low < 0 || text[2] != (field == kLastField ? '\0' : ':')) return false;
    read[field] = static_cast<char>(high * 16 + low);
  }
  for (int field = 0; field <= kLastField; ++field) bytes[field] = read[field];
  return true;
}

}  // namespace

// Fields may be empty (0), short, or longer than two digits with leading zeros; a field's value
// saturates just above 0xFF so that no number of digits can wrap it back into range.
extern "C" int convertMacStrToMacBinStr(const char* macText, char* macBytes) {
  if (macText == nullptr || macBytes == nullptr) return 1;
  if (*macText == '\0') {
    macBytes[0] = 0;
    return 1;
  }
  if (readSixPairs(macText, macBytes)) return 0;
  int field = 0;
  unsigned value = 0;
  for (const char* p = macText; *p != '\0'; ++p) {
    if (p != macText && field > kLastField) return 1;
    if (int digit = kyto::hexDigitValue(*p); digit >= 0) {
      value = value * 16 + static_cast<unsigned>(digit);
      if (value > kFieldLimit) value = kFieldLimit + 1;
    } else if (*p == ':') {
      if (value > kFieldLimit) return 1;
      macBytes[field++] = static_cast<char>(value);
      value = 0;
    } else {
      return 1;
    }
  }
  if (field > kLastField || value > kFieldLimit) return 1;
  macBytes[field] = static_cast<char>(value);
  return field == kLastField ? 0 : 1;
}
