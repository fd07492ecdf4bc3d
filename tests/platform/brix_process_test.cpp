#include "common/brix_process.h"

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "brix_internal.h"
#include "test_support.h"

namespace {

using kyto::test::TempDir;

// The variadic call for a list of up to four strings, ended by the null pointer.
FILE* popenWith(const char* mode, const std::vector<const char*>& s) {
  switch (s.size()) {
    case 0:
      return brix_popen(mode, (char*)nullptr);
    case 1:
      return brix_popen(mode, s[0], (char*)nullptr);
    case 2:
      return brix_popen(mode, s[0], s[1], (char*)nullptr);
    case 3:
      return brix_popen(mode, s[0], s[1], s[2], (char*)nullptr);
    case 4:
      return brix_popen(mode, s[0], s[1], s[2], s[3], (char*)nullptr);
  }
  ADD_FAILURE() << "too many strings";
  return nullptr;
}

std::string readAll(FILE* stream) {
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, n);
  return text;
}

bool noChildLeft() {
  int status;
  return waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

int openFdCount() {
  return static_cast<int>(kyto::test::listDir("/proc/self/fd").size());
}

std::string fdTarget(int fd) {
  char target[128] = {};
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

size_t occurrences(const std::string& text, const std::string& word) {
  size_t count = 0;
  for (size_t pos = text.find(word); pos != std::string::npos; pos = text.find(word, pos + 1))
    ++count;
  return count;
}

class BrixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    argvScript_ = dir_ / "show-argv";
    kyto::test::writeFile(argvScript_,
                          "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '[%s]\\n' \"$a\"; done\n");
    chmod(argvScript_.c_str(), 0755);
  }

  TempDir dir_;
  std::string argvScript_;
};

struct ArgvCase {
  const char* name;
  std::vector<std::string> strings;  // "@" stands for the script's path
  std::string expected;              // "@" likewise
};

std::string withScript(std::string text, const std::string& script) {
  for (size_t pos = text.find('@'); pos != std::string::npos; pos = text.find('@', pos))
    text.replace(pos, 1, script), pos += script.size();
  return text;
}

TEST_F(BrixTest, ChildReceivesTheExactArgumentVector) {
  const std::vector<ArgvCase> cases = {
      {"path and arguments", {"@", "-c", "list"}, "[@]\n[-c]\n[list]\n"},
      {"arguments are never split", {"@", "a b", " \t", ""}, "[@]\n[a b]\n[ \t]\n[]\n"},
      {"one command line", {"@ -c list"}, "[@]\n[-c]\n[list]\n"},
      {"runs of blanks", {" \t @  \t-c\t\tlist \t"}, "[@]\n[-c]\n[list]\n"},
      {"command line without arguments", {"@"}, "[@]\n"},
      {"no quoting in a command line", {"@ 'a b' \"c\""}, "[@]\n['a]\n[b']\n[\"c\"]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> strings;
    for (const auto& s : c.strings) strings.push_back(withScript(s, argvScript_));
    std::vector<const char*> pointers;
    for (const auto& s : strings) pointers.push_back(s.c_str());
    FILE* stream = popenWith("r", pointers);
    ASSERT_NE(stream, nullptr) << strerror(errno);
    EXPECT_EQ(readAll(stream), withScript(c.expected, argvScript_));
    EXPECT_EQ(brix_pclose(stream), 0);
  }
  EXPECT_TRUE(noChildLeft());
}

TEST(BrixArgs, SplitsAtBlanksOnly) {
  using kyto::brix::splitCommandLine;
  EXPECT_EQ(splitCommandLine(""), std::vector<std::string>{});
  EXPECT_EQ(splitCommandLine(" \t \t"), std::vector<std::string>{});
  EXPECT_EQ(splitCommandLine("a\nb"), std::vector<std::string>{"a\nb"});
  EXPECT_EQ(splitCommandLine("x\t y"), (std::vector<std::string>{"x", "y"}));
}

TEST(BrixRefusal, BadModeOrEmptyCommandGivesNull) {
  struct Case {
    const char* mode;
    std::vector<const char*> strings;
  };
  const std::vector<Case> cases = {
      {"x", {"/bin/true"}},     {"rw", {"/bin/true"}}, {"", {"/bin/true"}},
      {nullptr, {"/bin/true"}}, {"re", {"/bin/true"}}, {"r", {}},
      {"r", {" \t "}},          {"w", {""}},           {"r", {"", "-c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("mode ") + (c.mode ? c.mode : "(null)") + ", " +
                 std::to_string(c.strings.size()) + " strings");
    errno = 0;
    EXPECT_EQ(popenWith(c.mode, c.strings), nullptr);
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_TRUE(noChildLeft());
}

TEST_F(BrixTest, ProgramThatCannotRunGivesNullAndNoZombie) {
  std::string plainFile = dir_ / "not-executable";
  kyto::test::writeFile(plainFile, "#!/bin/sh\necho never\n");
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{dir_ / "missing", "-c", "list"}, ENOENT},
      {{dir_ / "missing -c list"}, ENOENT},
      {{plainFile, "x"}, EACCES},
      {{dir_.path(), "x"}, EACCES},
  };
  for (const auto& [strings, expectedErrno] : cases) {
    SCOPED_TRACE(strings.front());
    std::vector<const char*> pointers;
    for (const auto& s : strings) pointers.push_back(s.c_str());
    errno = 0;
    EXPECT_EQ(popenWith("r", pointers), nullptr);
    EXPECT_EQ(errno, expectedErrno);
    EXPECT_TRUE(noChildLeft());
  }
}

TEST_F(BrixTest, WriteModeFeedsTheChildsStandardInput) {
  std::string out = dir_ / "received";
  FILE* stream = brix_popen("w", "/bin/sh", "-c", "cat > \"$0\"", out.c_str(), (char*)nullptr);
  ASSERT_NE(stream, nullptr);
  std::string text(100000, 'k');
  text += "\nend\n";
  ASSERT_EQ(fwrite(text.data(), 1, text.size(), stream), text.size());
  EXPECT_EQ(brix_pclose(stream), 0);
  EXPECT_EQ(kyto::test::readFile(out), text);
}

TEST(BrixStatus, PcloseGivesTheWaitStatus) {
  FILE* exits = brix_popen("r", "/bin/sh", "-c", "exit 7", (char*)nullptr);
  FILE* killed = brix_popen("r", "/bin/sh", "-c", "kill -TERM $$", (char*)nullptr);
  ASSERT_NE(exits, nullptr);
  ASSERT_NE(killed, nullptr);
  // Closed in the other order than opened: each stream keeps its own child.
  int killedStatus = brix_pclose(killed);
  int exitStatus = brix_pclose(exits);
  EXPECT_TRUE(WIFSIGNALED(killedStatus) && WTERMSIG(killedStatus) == SIGTERM) << killedStatus;
  EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 7) << exitStatus;
  EXPECT_TRUE(noChildLeft());
}

TEST(BrixStatus, UnknownStreamIsRefusedAndLeftOpen) {
  FILE* other = fopen("/dev/null", "r");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(brix_pclose(other), -1);
  EXPECT_EQ(fgetc(other), EOF);  // still a valid stream
  fclose(other);
  EXPECT_EQ(brix_pclose(nullptr), -1);
}

TEST(BrixEarlyExit, ReaderSeesEndOfFileAndTheStatus) {
  FILE* stream = brix_popen("r", "/bin/sh", "-c", "printf abc; exit 3", (char*)nullptr);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(readAll(stream), "abc");
  int status = brix_pclose(stream);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
}

TEST(BrixEarlyExit, WriterGetsAnErrorNotASignal) {
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  FILE* stream = brix_popen("w", "/bin/sh", "-c", "exec 0<&-; exit 5", (char*)nullptr);
  ASSERT_NE(stream, nullptr);
  std::string chunk(65536, 'x');
  bool failed = false;
  for (int i = 0; i < 64 && !failed; ++i)
    failed = fwrite(chunk.data(), 1, chunk.size(), stream) != chunk.size() || fflush(stream) != 0;
  EXPECT_TRUE(failed);
  int status = brix_pclose(stream);
  sigaction(SIGPIPE, &previous, nullptr);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5) << status;
}

TEST(BrixUnreadOutput, PcloseReturnsWhileTheChildStillWrites) {
  // The test ignores SIGPIPE: the child must still get the default action and stop.
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  FILE* endless =
      brix_popen("r", "/bin/sh", "-c", "while :; do echo 0123456789abcdef; done", (char*)nullptr);
  FILE* finite = brix_popen("r", "/bin/sh", "-c", "head -c 8000000 /dev/zero", (char*)nullptr);
  sigaction(SIGPIPE, &previous, nullptr);
  ASSERT_NE(endless, nullptr);
  ASSERT_NE(finite, nullptr);
  char buffer[100];
  EXPECT_EQ(fread(buffer, 1, sizeof buffer, endless), sizeof buffer);
  EXPECT_EQ(fread(buffer, 1, sizeof buffer, finite), sizeof buffer);
  int endlessStatus = brix_pclose(endless);
  int finiteStatus = brix_pclose(finite);
  EXPECT_TRUE(WIFSIGNALED(endlessStatus) && WTERMSIG(endlessStatus) == SIGPIPE) << endlessStatus;
  EXPECT_NE(finiteStatus, 0);
  EXPECT_TRUE(noChildLeft());
}

TEST(BrixHungChild, ReaderIsNotHeldByAChildThatNeverEnds) {
  // The child closes its output and then sleeps far longer than anyone should wait.
  FILE* stream =
      brix_popen("r", "/bin/sh", "-c", "printf x; exec >&-; exec sleep 600", (char*)nullptr);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(readAll(stream), "x");
  int status = brix_pclose(stream);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  EXPECT_TRUE(noChildLeft());
}

TEST_F(BrixTest, ManyCyclesLeaveNoDescriptorBehind) {
  int before = openFdCount();
  std::string missing = dir_ / "missing";
  for (int i = 0; i < 100; ++i) {
    FILE* r = brix_popen("r", "/bin/echo", "hello", (char*)nullptr);
    FILE* w = brix_popen("w", "/bin/dd of=/dev/null status=none", (char*)nullptr);
    ASSERT_NE(r, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(readAll(r), "hello\n");
    fputs("data\n", w);
    EXPECT_EQ(brix_pclose(r), 0);
    EXPECT_EQ(brix_pclose(w), 0);
    EXPECT_EQ(brix_popen("r", missing.c_str(), (char*)nullptr), nullptr);
  }
  EXPECT_EQ(openFdCount(), before);
  EXPECT_TRUE(noChildLeft());
}

TEST(BrixInheritance, ChildSeesNoPipeOfOtherStreams) {
  // The parent's ends stay open until pclose, whether or not these children still run.
  FILE* reading = brix_popen("r", "/bin/true", (char*)nullptr);
  FILE* writing = brix_popen("w", "/bin/cat", (char*)nullptr);
  ASSERT_NE(reading, nullptr);
  ASSERT_NE(writing, nullptr);
  std::string readingPipe = fdTarget(fileno(reading));
  std::string writingPipe = fdTarget(fileno(writing));
  ASSERT_EQ(readingPipe.rfind("pipe:", 0), 0u) << readingPipe;

  FILE* lister = brix_popen("r", "/bin/ls", "-l", "/proc/self/fd", (char*)nullptr);
  ASSERT_NE(lister, nullptr);
  std::string ownPipe = fdTarget(fileno(lister));
  std::string listing = readAll(lister);
  EXPECT_EQ(brix_pclose(lister), 0);
  EXPECT_EQ(occurrences(listing, readingPipe), 0u) << listing;
  EXPECT_EQ(occurrences(listing, writingPipe), 0u) << listing;
  // Only its standard output: the parent's end of its own pipe stayed behind.
  EXPECT_EQ(occurrences(listing, ownPipe), 1u) << listing;

  EXPECT_EQ(brix_pclose(writing), 0);
  EXPECT_EQ(brix_pclose(reading), 0);
}

}  // namespace
