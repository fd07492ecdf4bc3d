// The one media server setting clientadm needs: deny_anonymous.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kyto::clientadm {

// The largest configuration file read. The server's own file is a few hundred bytes; a larger one
// is no configuration, and refusing it keeps a huge file or a device from being read on.
inline constexpr std::size_t kServerSettingsMaxBytes = 1024 * 1024;

// Reads deny_anonymous from the media server's configuration file into *value (0 when the key
// is absent). A line is one line whatever its length. A line that is neither empty, a comment, a
// section header nor "key = value" writes "parsing error file" to errors. Returns 0 when the
// file was read; 1, leaving 0, when it can't be opened for reading as a regular file (a FIFO,
// device, socket or directory is never waited on) or holds more than kServerSettingsMaxBytes.
int readServerSettings(std::int32_t* value, std::FILE* errors = stderr);

}  // namespace kyto::clientadm
