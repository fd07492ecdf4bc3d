#include "common/hex_digit.h"
#include "kytoutil/kytoutil.h"

namespace {

constexpr unsigned kFieldLimit = 0xFF;
constexpr int kLastField = 5;

}  // namespace

// Fields may be empty (0), short, or longer than two digits with leading zeros; a field's value
// saturates just above 0xFF so that no number of digits can wrap it back into range.
extern "C" int convertMacStrToMacBinStr(const char* macText, char* macBytes) {
  if (macText == nullptr || macBytes == nullptr) return 1;
  if (*macText == '\0') {
    macBytes[0] = 0;
    return 1;
  }
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
