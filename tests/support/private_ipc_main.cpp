// main() of the test programs that may reach the media server's shared-memory segment (key
// 7890): each enters a private IPC namespace before any test runs, so that a test run neither
// sees nor changes the segments of the machine it runs on. Where the machine allows no such
// namespace, every test of the program is skipped with the reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "private_namespace.h"

namespace {

class SkipWithoutPrivateIpc : public ::testing::Environment {
 public:
  explicit SkipWithoutPrivateIpc(std::string reason) : reason_(std::move(reason)) {}
  void SetUp() override {
    if (!reason_.empty())
      GTEST_SKIP() << "no private IPC namespace can be made here (" << reason_
                   << "); these tests could reach the machine's own segment";
  }

 private:
  std::string reason_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(
      new SkipWithoutPrivateIpc(kyto::test::enterPrivateIpcNamespace()));
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
