// Replacing a file so that readers see either the old or the new content, never a mix.
#pragma once

#include <string>
#include <string_view>

namespace kyto::xmlnode {

// Writes content to a temporary file beside path, flushes and fsyncs it, and renames it over
// path. The new file keeps the old file's mode (0644 when there was none). A symbolic link at
// path is followed, so the file it names is replaced (or created). Returns 0 on success, else an
// errno value; on failure the old file is intact and the temporary file is gone.
int replaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace kyto::xmlnode
