// Reading the "0x..." ID texts of browse-tree attribute elements.
#pragma once

#include <cstdint>
#include <string_view>

namespace kyto::treeshaper {

// The hexadecimal digits after the first "x" (else the first "X") of a text, summed in wrapping
// 32-bit arithmetic and read as signed: -1 without either letter, 0 with nothing after it. Other
// characters count as the digit 0, and only the last eight positions carry weight.
std::int32_t hexTextToInt(std::string_view text);

}  // namespace kyto::treeshaper
