// File descriptors: their one owner, opening inputs that must be regular files, and writing
// whole texts, standard output included.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace kyto {

// The one owner of a file descriptor: closed when its owner goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { close(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives the descriptor up without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // Closes now; close can report a late write error, so its result counts for written files.
  int close() {
    if (fd_ < 0) return 0;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// Opens path (links followed) read-only when it is a regular file. A FIFO, device, socket or
// directory is refused without blocking and without side effects: the path is looked at with
// stat before it is opened, it is opened with O_NONBLOCK, and the opened descriptor is checked
// again with fstat, so a file swapped in between is refused too. The descriptor handed back is
// close-on-exec and blocking again.
// Returns 0 and sets file, or an errno value: that of stat or open (ENOENT, EACCES, ...), EISDIR
// for a directory, EINVAL for any other file that is not regular.
int openRegularFile(const std::string& path, UniqueFd& file);

// What an errno value of openRegularFile says of the input, for a message: "not a regular file"
// for EINVAL, the system's text for any other.
const char* inputProblem(int error);

// The same for the entry name of the directory dir (a descriptor, or AT_FDCWD).
int openRegularFileAt(int dir, const char* name, UniqueFd& file);

// Reads the whole of the entry name of the directory dir, which must be a regular file itself:
// no link is followed (ELOOP), a FIFO is never waited on, and no more than mostBytes are read
// (EFBIG, also for a file that grows past it meanwhile). Returns 0 with bytes holding the file,
// or an errno value: that of open or read, EISDIR for a directory, EINVAL for any other file
// that is not regular.
int readRegularFileAt(int dir, const char* name, std::size_t mostBytes, std::string& bytes);

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
