// The schema of a stored client: the elements and attributes of clients.xml, how the numbers
// among them read, and which profile ids there are. The library reads and writes the list by it,
// and clientadm parses its command line and checks the list by it, so each is spelled once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kyto::schema {

inline constexpr char kListElement[] = "UPNP_CLIENTS";
inline constexpr char kClientElement[] = "CLIENT";

// The attributes of a CLIENT element.
enum ClientAttribute : int { kMac, kIp, kDevice, kProfile, kUser, kClientType, kDeny, kAttributes };
inline constexpr const char* kAttributeNames[kAttributes] = {
    "MAC", "IP", "DEVICE", "USER_PROFILE", "USER", "CLIENT_TYPE", "DENY"};

constexpr const char* attributeName(ClientAttribute attribute) {
  return kAttributeNames[attribute];
}

// Browsing profiles are numbered 0 to kHighestProfileId; kNoProfile stands for none.
inline constexpr int kNoProfile = -1;
inline constexpr int kHighestProfileId = 5;

// A number as the appliance's C tools read one: strtol with base 10 (leading white space and a
// sign allowed, stops at the first non-digit, no digits give 0), narrowed to its low 32 bits.
// Null reads as 0.
std::int32_t parseDecimal32(const char* text);

// True when text is a whole decimal number as strtol reads it: optional leading white space, an
// optional sign, one or more digits and nothing after them.
bool isDecimalText(std::string_view text);

// The value of a decimal number written plainly, as a stored file should hold it: an optional
// sign and one or more digits, nothing before or after. Nothing when text is not one, or when a
// long can't hold it.
std::optional<long> plainDecimalValue(const std::string& text);

// USER_PROFILE as it is read: its number when that is a profile id, else kNoProfile (also when
// the attribute is missing, null).
int profileFrom(const char* text);

// DENY as it is read: 1 when its number is not 0, else 0 (also when missing or empty).
int denyFrom(const char* text);

}  // namespace kyto::schema
