#include "common/exclusive_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "common/descriptors.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// Both sides of the wait limit: a lock given up within it is taken, one held past it is not.
TEST(LockExclusively, WaitsForALockGivenUpWithinTheLimitAndNoLonger) {
  kyto::test::TempDir dir;
  kyto::test::writeFile(dir / "lock", "");
  kyto::UniqueFd holder(open((dir / "lock").c_str(), O_RDONLY | O_CLOEXEC));
  kyto::UniqueFd waiter(open((dir / "lock").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(flock(holder.get(), LOCK_EX), 0);
  EXPECT_EQ(kyto::lockExclusively(waiter.get(), 100ms), EWOULDBLOCK);
  std::thread release([&] {
    std::this_thread::sleep_for(100ms);
    flock(holder.get(), LOCK_UN);
  });
  EXPECT_EQ(kyto::lockExclusively(waiter.get(), 5000ms), 0);
  release.join();
  EXPECT_NE(flock(holder.get(), LOCK_EX | LOCK_NB), 0);  // the waiter holds it now
}

}  // namespace
