// Opening an input that must be a regular file, without ever blocking on a FIFO or a device.
#pragma once

#include <string>

#include "common/unique_fd.h"

namespace kyto {

// Opens path (links followed) read-only when it is a regular file. A FIFO, device, socket or
// directory is refused without blocking and without side effects: the path is looked at with
// stat before it is opened, it is opened with O_NONBLOCK, and the opened descriptor is checked
// again with fstat, so a file swapped in between is refused too. The descriptor handed back is
// close-on-exec and blocking again.
// Returns 0 and sets file, or an errno value: that of stat or open (ENOENT, EACCES, ...), EISDIR
// for a directory, EINVAL for any other file that is not regular.
int openRegularFile(const std::string& path, UniqueFd& file);

// The same for the entry name of the directory dir (a descriptor, or AT_FDCWD).
int openRegularFileAt(int dir, const char* name, UniqueFd& file);

}  // namespace kyto
