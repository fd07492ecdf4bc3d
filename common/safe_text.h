// Text from outside (device names, users, file contents) made safe to print, in lines or in JSON.
#pragma once

#include <string>
#include <string_view>

namespace kyto {

// Control characters (0x00-0x1F and 0x7F) as '?': a quoted text can neither start a line of
// its own nor send the terminal an escape sequence.
std::string withoutControls(std::string_view text);

// True when withoutControls would return the text unchanged.
bool isSafeToPrint(std::string_view text);

// As withoutControls, and '|' as '?' too: a field of a '|'-separated line stays one field.
std::string listingField(std::string_view text);

// True when listingField would return the text unchanged, so that a writer of many fields can
// skip the copy.
bool isSafeListingField(std::string_view text);

// Appends text as a JSON string: quotes, backslashes and control characters escaped, valid UTF-8
// as it is, and each longest start of a character that is no valid UTF-8 as U+FFFD (as common
// JSON writers replace it). Outside text (a device's name) need not be UTF-8.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace kyto
