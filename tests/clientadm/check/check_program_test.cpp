// clientadm check on the two samples of examples/, and its wait for the list's lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "staged_root.h"

namespace {

using kyto::test::readFile;
using kyto::test::StagedRoot;

const std::string kProgram = KYTO_CLIENTADM_PATH;
const std::string kExamples = KYTO_EXAMPLES_DIR;
const std::string kGoldenDir = KYTO_CLIENTADM_GOLDEN_DIR;
constexpr char kConfigDir[] = "etc/config/kytomediasvr/";

// A copy of a sample root, so that the lock file is made in the copy.
class SampleCopy {
 public:
  explicit SampleCopy(const std::string& sample) {
    std::filesystem::copy(kExamples + "/" + sample, root_.path(),
                          std::filesystem::copy_options::recursive);
  }
  std::string file(const std::string& name) const { return root_.paths().configDir + name; }
  const std::string& path() const { return root_.path(); }
  kyto::test::ProgramResult check() const { return root_.run({"clientadm", "check"}); }

 private:
  StagedRoot root_;
};

TEST(CheckProgram, SaysNothingOnTheCleanSampleAndWritesOnlyTheLockFile) {
  SampleCopy root("root");
  const auto result = root.check();
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(readFile(root.file("clients.xml")),
            readFile(kExamples + "/root/" + kConfigDir + "clients.xml"));
  EXPECT_TRUE(kyto::test::fileExists(root.file("clients.lock")));
}

TEST(CheckProgram, FindsEachPlantedMistakeOnItsLine) {
  SampleCopy root("check-root");
  kyto::test::writeFile(root.file("clients.lock"), "kept");
  std::string expected = readFile(kGoldenDir + "/check_planted.txt");
  for (auto at = expected.find("{root}"); at != std::string::npos; at = expected.find("{root}"))
    expected.replace(at, 6, root.path());
  const auto result = root.check();
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(readFile(root.file("clients.lock")), "kept");  // opened, never truncated
}

TEST(CheckProgram, WaitsForTheListsLock) {
  SampleCopy root("root");
  const int lock = open(root.file("clients.lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);

  const pid_t checker = fork();
  if (checker == 0) {
    setenv("KYTO_ROOT", root.path().c_str(), 1);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    execl(kProgram.c_str(), kProgram.c_str(), "check", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(checker, 0);
  // A check that did not wait would be done with the sample long before this.
  int status = 0;
  const bool blocked = kyto::test::stillRunningAfter(checker, 1000, &status);
  EXPECT_TRUE(blocked) << "check never waited for the lock";
  close(lock);
  if (blocked) {
    ASSERT_EQ(waitpid(checker, &status, 0), checker);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}

}  // namespace
