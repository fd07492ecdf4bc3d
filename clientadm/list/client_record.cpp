#include "client_record.h"

namespace kyto::clientadm {

const char* sourceName(std::int32_t comeFrom) {
  switch (comeFrom) {
    case FromUserSettings:
      return "userSettings";
    case FromDmsClientCache:
      return "clientCache";
    case FromDmcSearchCache:
      return "searchCache";
  }
  return "";
}

void formatMacText(const std::uint8_t* bytes, char (&text)[kMacTextSize]) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char* out = text;
  for (int i = 0; i < 6; ++i) {
    if (i != 0) *out++ = ':';
    *out++ = kDigits[bytes[i] >> 4];
    *out++ = kDigits[bytes[i] & 0x0f];
  }
  *out = '\0';
}

}  // namespace kyto::clientadm
