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
  kyto::test::ProgramResult run(std::vector<std::string> args) const {
    return root_.run(std::move(args));
  }

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

// What of the list's history can't be read, each case with the line check writes for it.
TEST(CheckProgram, SaysWhatOfTheListsHistoryCanNotBeRead) {
  const struct {
    const char* name;
    void (*damage)(const std::string& history);
    std::string line;  // below {history}, the history's directory
  } cases[] = {
      {"no directory",
       [](const std::string& history) {
         std::filesystem::remove_all(history);
         kyto::test::writeFile(history, "");
       },
       "{history}:0: cannot be read (Not a directory): history and restore fail, and no change "
       "keeps the list it replaces"},
      {"a damaged index",
       [](const std::string& history) { kyto::test::writeFile(history + "/index", "x"); },
       "{history}/index:0: cannot be read (Bad message): the history is read from the records of "
       "its versions"},
      {"a damaged record",
       [](const std::string& history) {
         kyto::test::writeFile(history + "/version-1.record", "x");
       },
       "{history}/version-1.record:0: cannot be read (Bad message): its version is listed "
       "without its time, change and clients"},
      {"no number left",
       [](const std::string& history) {
         std::string index = readFile(history + "/index");
         index.replace(index.find("highest\t1"), 9, "highest\t9223372036854775807");
         kyto::test::writeFile(history + "/index", index);
       },
       "{history}/index:0: the highest version number has been given: every change of the list "
       "is refused"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SampleCopy root("root");
    const std::string history = root.file("clients.history");
    ASSERT_EQ(root.check().exitStatus, 0);
    kyto::test::ProgramResult added = root.run({"clientadm", "add", "-m", "02:00:00:00:00:01"});
    ASSERT_EQ(added.exitStatus, 0) << added.err;
    ASSERT_EQ(root.check().out, "");
    c.damage(history);
    std::string line = c.line;
    line.replace(line.find("{history}"), 9, history);
    const auto result = root.check();
    EXPECT_EQ(result.out, line + "\n");
    EXPECT_EQ(result.exitStatus, 1);
  }
}

}  // namespace
