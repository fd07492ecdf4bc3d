// Decimal number text as the appliance's C tools read it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kyto::clientadm {

// strtol with base 10 (leading white space and a sign allowed, stops at the first non-digit, no
// digits give 0), then narrowed to 32 bits by keeping the low 32 bits.
std::int32_t parseDecimal32(const char* text);

// True when text is a whole decimal number as strtol reads it: optional leading white space, an
// optional sign, one or more digits and nothing after them.
bool isDecimalText(std::string_view text);

}  // namespace kyto::clientadm
