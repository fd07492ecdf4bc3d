// Keeping a client access list that can no longer be read before it is replaced.
#pragma once

#include <string>

namespace kyto::util {

// Copies the regular file byte for byte to "<path>.corrupt-<UTC time>" in the same directory
// (with a "-<n>" suffix when that name is taken: an earlier backup is never replaced) and sets
// *backupName to that name. True when no file exists at path (*backupName unchanged) or the copy
// is complete and synced; false otherwise (a FIFO, device or directory included), leaving no
// partial copy.
bool keepCorruptFile(const std::string& path, std::string* backupName);

}  // namespace kyto::util
