#include "list/client_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

namespace kyto::clientadm {
namespace {

// The hand-written formatting must give printf's bytes for every byte value in every field.
TEST(MacText, MatchesPrintfForEveryByteInEveryField) {
  for (int field = 0; field < 6; ++field) {
    for (int value = 0; value < 256; ++value) {
      std::uint8_t bytes[6] = {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
      bytes[field] = static_cast<std::uint8_t>(value);
      char expected[kMacTextSize];
      std::snprintf(expected, sizeof expected, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1],
                    bytes[2], bytes[3], bytes[4], bytes[5]);
      char text[kMacTextSize];
      formatMacText(bytes, text);
      ASSERT_STREQ(text, expected) << "field " << field << " value " << value;
    }
  }
}

}  // namespace
}  // namespace kyto::clientadm
