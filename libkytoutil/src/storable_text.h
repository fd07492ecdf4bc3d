// Which texts the client access list can hold.
#pragma once

namespace kyto::util {

// True when text is valid UTF-8 and every character may appear in an XML 1.0 document (tab,
// newline and carriage return are the only control characters allowed). Anything else would be
// written into a file that no longer parses.
bool isStorableText(const char* text);

}  // namespace kyto::util
