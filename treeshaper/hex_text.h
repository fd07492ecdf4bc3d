// Reading the "0x..." ID texts of browse-tree attribute elements.
#pragma once

#include <cstdint>
#include <string_view>

namespace kyto::treeshaper {

// base to the power, wrapping modulo 2^32; 1 when power is 0.
std::uint32_t intPower(std::uint32_t base, std::uint32_t power);

// The hexadecimal digits after the first "x" (else the first "X") of a text, summed in wrapping
// 32-bit arithmetic and read as signed: -1 without either letter, 0 with nothing after it. Other
// characters count as the digit 0, and only the last eight positions carry weight.
std::int32_t hexTextToInt(std::string_view text);

}  // namespace kyto::treeshaper
