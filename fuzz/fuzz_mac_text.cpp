// MAC address text to bytes: never writes past 6 bytes, and an accepted text round-trips.
#include <kytoutil/kytoutil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  // An exact 6-byte allocation lets AddressSanitizer catch any write beyond it.
  auto bytes = std::make_unique<char[]>(6);
  if (convertMacStrToMacBinStr(text.c_str(), bytes.get()) != 0) return 0;

  char canonical[18];
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.get());
  snprintf(canonical, sizeof canonical, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3],
           b[4], b[5]);
  char again[6];
  if (convertMacStrToMacBinStr(canonical, again) != 0 || memcmp(again, bytes.get(), 6) != 0) {
    abort();
  }
  return 0;
}
