// Keeping a client access list that can no longer be read before it is replaced.
#pragma once

#include <string>

namespace kyto::util {

// Copies the file byte for byte to "<path>.corrupt-<UTC time>" in the same directory (with a
// "-<n>" suffix when that name is taken: an earlier backup is never replaced). True when no file
// exists at path or the copy is complete and synced; false otherwise, leaving no partial copy.
bool keepCorruptFile(const std::string& path);

}  // namespace kyto::util
