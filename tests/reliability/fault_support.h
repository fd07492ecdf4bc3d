// Shared pieces of the fault tests: small scratch file systems, snapshots of directory trees,
// and the built programs run against a temporary root.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace kyto::reliability {

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

// Every entry below dir by relative path: a file's content, "-> target" for a link, "/" for a
// directory. Two equal snapshots mean nothing was added, removed or changed.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const std::string& dir);
// The names added, removed or changed from before to after, one a line; empty when none.
std::string changes(const Snapshot& before, const Snapshot& after);

// Runs a program ("clientadm", "treeshaper" or a path) with KYTO_ROOT set to root.
test::ProgramResult runTool(const std::string& root, std::vector<std::string> args,
                            std::vector<std::string> env = {});

// The message of the library when the lock file can't be opened or locked.
std::string lockFailure(int error);

// A stored list of count clients 02:00:00:00:HH:LL with user "user <n>", and its listing.
std::string clientList(int count);
std::string clientListing(int count);

}  // namespace kyto::reliability
