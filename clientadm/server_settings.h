// The one media server setting clientadm needs: deny_anonymous.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kyto::clientadm {

// Reads deny_anonymous from the media server's configuration file into *value (0 when the key
// is absent). A line that is neither empty, a comment, a section header nor "key = value" writes
// "parsing error file" to errors. Returns 0 when the file was read, 1 when it can't be opened.
int readServerSettings(std::int32_t* value, std::FILE* errors = stderr);

}  // namespace kyto::clientadm
