// Starved processes and machines: a file-size limit, a memory limit and a tiny file system.
#pragma once

#include <cstddef>
#include <string>

namespace kyto::test {

// Runs body in a child process under a file size limit that any real write exceeds, and returns
// the child's result (-1 when it didn't exit normally, or was still blocked after 10 s). Works for
// root too.
int runWithTinyFileSizeLimit(int (*body)());

// Runs body in a child process whose address space may grow by only headroomBytes, and returns
// the child's result (-1 when it didn't exit normally).
int runWithMemoryHeadroom(int (*body)(), std::size_t headroomBytes);

// A tmpfs of a few pages mounted in a private mount namespace of the test process, so that it
// disappears with the process even when a test crashes. Unmounted on destruction.
class ScratchMount {
 public:
  ScratchMount(const std::string& dir, std::size_t bytes);
  ~ScratchMount();
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

  // Empty when mounted, else why not (for GTEST_SKIP).
  const std::string& failure() const { return failure_; }
  // Fills the file system with a file of its own until exactly leftBytes stay free.
  bool fillLeaving(std::size_t leftBytes);
  bool remountReadOnly();

 private:
  std::string dir_;
  std::string failure_;
};

}  // namespace kyto::test
