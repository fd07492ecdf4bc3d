// MAC address bytes as the listing prints them.
#pragma once

#include <cstdint>

namespace kyto::clientadm {

// Size of a MAC text buffer: six two-digit fields, five colons and the terminator.
inline constexpr int kMacTextSize = 18;

// Writes the six bytes as "%02x:%02x:%02x:%02x:%02x:%02x" would, NUL-terminated; formatting by
// hand keeps printf's parsing out of the per-client path of the list command.
void formatMacText(const std::uint8_t* bytes, char (&text)[kMacTextSize]);

}  // namespace kyto::clientadm
