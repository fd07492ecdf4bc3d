// The exclusive lock that serializes every read and rewrite of the client access list between
// processes.
#pragma once

#include "common/unique_fd.h"

namespace kyto::util {

// Opens (creating when missing, never through a link) the lock file and waits for an exclusive
// flock on it. On failure prints
// "Lock file failed(<errno>): <text>" to stderr and holds nothing. Closing the descriptor on
// destruction gives the lock up, so declare it before anything that must be released first.
class ClientListLock {
 public:
  ClientListLock();
  bool held() const { return fd_.valid(); }

 private:
  UniqueFd fd_;
};

}  // namespace kyto::util
