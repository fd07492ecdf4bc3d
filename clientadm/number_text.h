// Decimal number text as the appliance's C tools read it.
#pragma once

#include <cstdint>

namespace kyto::clientadm {

// strtol with base 10 (leading white space and a sign allowed, stops at the first non-digit, no
// digits give 0), then narrowed to 32 bits by keeping the low 32 bits.
std::int32_t parseDecimal32(const char* text);

}  // namespace kyto::clientadm
