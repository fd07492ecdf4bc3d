// Writing output whole: a buffer to a descriptor, and a program's standard output.
#pragma once

#include <string_view>

namespace kyto {

// Writes all of data, retrying short writes and EINTR. Returns 0, or the errno of the failure.
int writeAll(int fd, std::string_view data);

// Flushes standard output before more goes to standard error, keeping the reason of a failure for
// statusAfterOutput.
void flushStandardOutput();

// A program's exit status once its standard output is flushed: callers read the output, so when
// any of it could not be written (a full disk, /dev/full) the run failed, whatever it did. Then
// one line "PROGRAM: standard output could not be written: REASON" goes to standard error and
// the status is 1; otherwise the status is the one given. A closed pipe ends the program by
// SIGPIPE before this, as it always did.
int statusAfterOutput(int status, const char* program);

}  // namespace kyto
