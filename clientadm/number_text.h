// Decimal number text as the appliance's C tools read it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kyto::clientadm {

// strtol with base 10 (leading white space and a sign allowed, stops at the first non-digit, no
// digits give 0), then narrowed to 32 bits by keeping the low 32 bits.
std::int32_t parseDecimal32(const char* text);

// True when text is a whole decimal number as strtol reads it: optional leading white space, an
// optional sign, one or more digits and nothing after them.
bool isDecimalText(std::string_view text);

// The value of a decimal number written plainly, as a stored file should hold it: an optional
// sign and one or more digits, nothing before or after. Nothing when text is not one, or when a
// long can't hold it.
std::optional<long> plainDecimalValue(const std::string& text);

}  // namespace kyto::clientadm
