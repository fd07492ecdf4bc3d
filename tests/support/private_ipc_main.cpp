// main() of the test programs that may reach the media server's shared-memory segment (key
// 7890): each enters a private IPC namespace before any test runs, so that a test run neither
// sees nor changes the segments of the machine it runs on. Where the machine allows no such
// namespace, every test of the program is skipped with the reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool writeProcFile(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

// Root may unshare the IPC namespace directly; others first make a user namespace in which
// they keep their own ids.
std::string enterPrivateIpcNamespace() {
  if (unshare(CLONE_NEWIPC) == 0) return {};
  const int direct = errno;
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWIPC) != 0)
    return std::string("unshare(CLONE_NEWIPC): ") + std::strerror(direct) +
           "; with a user namespace: " + std::strerror(errno);
  writeProcFile("/proc/self/setgroups", "deny");
  if (!writeProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
      !writeProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
    return "a user namespace was made but its id maps could not be written";
  return {};
}

class SkipWithoutPrivateIpc : public ::testing::Environment {
 public:
  explicit SkipWithoutPrivateIpc(std::string reason) : reason_(std::move(reason)) {}
  void SetUp() override {
    if (!reason_.empty()) GTEST_SKIP() << "no private IPC namespace can be made here (" << reason_
                                       << "); these tests could reach the machine's own segment";
  }

 private:
  std::string reason_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new SkipWithoutPrivateIpc(enterPrivateIpcNamespace()));
  return RUN_ALL_TESTS();
}

namespace {

std::string namespaceOf(const std::string& process) {
  char target[64] = "";
  const ssize_t n = readlink(("/proc/" + process + "/ns/ipc").c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

TEST(Sandbox, TestsRunInAnIpcNamespaceOfTheirOwn) {
  const std::string own = namespaceOf("self");
  ASSERT_FALSE(own.empty());
  EXPECT_NE(own, namespaceOf(std::to_string(getppid())));
}

}  // namespace
