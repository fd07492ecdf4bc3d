// The one media server setting clientadm needs: deny_anonymous.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kyto::clientadm {

// Reads deny_anonymous from the media server's configuration file into *value (0 when the key
// is absent). The file is read line by line as it streams past, whatever its size, and a line is
// one line whatever its length; the first deny_anonymous line decides, wherever it stands. A line
// that is neither empty, a comment, a section header nor "key = value" writes "parsing error
// file" to errors. Returns 0 when the file was read; 1, leaving 0, when it can't be opened for
// reading as a regular file (a FIFO, device, socket or directory is never waited on).
int readServerSettings(std::int32_t* value, std::FILE* errors = stderr);

}  // namespace kyto::clientadm
