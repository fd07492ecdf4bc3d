// Replacing a file so that readers see either the old or the new content, never a mix.
#pragma once

#include <string>
#include <string_view>

namespace kyto {

// The file that a write to path replaces, as the kernel resolves the path: an absolute path
// without links, dots or doubled slashes. A link is followed to the file it names, also when
// that file doesn't exist yet (a dangling link names the file to create). Returns 0 and sets
// target, or an errno value: ELOOP when the kernel can't resolve the links, ENOENT when a
// directory on the way is missing.
// Use the one target for every check and the write, so they can't see different files.
int resolveWriteTarget(const std::string& path, std::string& target);

// Refuses a target that exists and is no regular file (EISDIR, EINVAL). Otherwise writes
// content to a temporary file beside target (a path from resolveWriteTarget), flushes
// and fsyncs it, and renames it over target. The new file keeps the old file's mode and, where
// the writer may, its owner; a file that didn't exist is created 0644 whatever the umask.
// Returns 0, or an errno value; on failure target is intact and the temporary file is gone.
int replaceResolvedFile(const std::string& target, std::string_view content);

// resolveWriteTarget, then replaceResolvedFile.
int replaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace kyto
