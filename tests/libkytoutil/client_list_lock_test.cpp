#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "client_files.h"
#include "kytoutil/kytoutil.h"
#include "test_support.h"

namespace {

using kyto::test::ClientFilesTest;
using kyto::test::clientsLock;
using kyto::test::clientsXml;
using kyto::test::configDir;
using kyto::test::fileExists;
using kyto::test::listFile;
using kyto::test::readFile;
using kyto::test::writeFile;

using ClientListLock = ClientFilesTest;

int readNothing(void*, const unsigned char*, const char*, const char*, int, const char*,
                const char*, int) {
  return 0;
}

TEST_F(ClientListLock, AMissingDirectoryIsReportedByEveryOperation) {
  std::filesystem::remove_all(configDir());
  const struct {
    const char* name;
    int (*call)();
  } operations[] = {
      {"read", [] { return Kyto_Util_ReadClientSettings(readNothing, nullptr); }},
      {"add", [] { return Kyto_Util_AddClientToXMLFile("0:0:0:0:0:1", 0, 1, 0, 0, -1); }},
      {"del", [] { return Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:1"); }},
  };
  for (const auto& operation : operations) {
    SCOPED_TRACE(operation.name);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(operation.call(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Lock file failed(2): No such file or directory\n");
  }
  EXPECT_FALSE(fileExists(configDir()));
}

// True when /proc/locks shows process pid waiting for a flock on the file with this inode.
bool waitsForFlock(pid_t pid, ino_t inode) {
  std::ifstream locks("/proc/locks");
  const std::string waiter = "-> FLOCK";
  const std::string owner = " " + std::to_string(pid) + " ";
  const std::string file = ":" + std::to_string(inode) + " ";
  for (std::string line; std::getline(locks, line);) {
    if (line.find(waiter) != std::string::npos && line.find(owner) != std::string::npos &&
        line.find(file) != std::string::npos)
      return true;
  }
  return false;
}

// The reader holds the lock while its callback runs; it waits in the callback until told to go.
int s_readerToParent[2];
int s_parentToReader[2];

int signalAndWait(void*, const unsigned char*, const char*, const char*, int, const char*,
                  const char*, int) {
  char byte = 'r';
  if (write(s_readerToParent[1], &byte, 1) != 1 || read(s_parentToReader[0], &byte, 1) != 1)
    return 1;
  return 0;
}

pid_t startChild(int (*body)()) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int exitStatusOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(ClientListLock, AWriterWaitsUntilTheReaderIsDone) {
  if (!std::ifstream("/proc/locks")) GTEST_SKIP() << "/proc/locks is not readable here";
  writeFile(clientsXml(), listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)"}));
  ASSERT_EQ(pipe(s_readerToParent), 0);
  ASSERT_EQ(pipe(s_parentToReader), 0);

  pid_t reader = startChild([] { return Kyto_Util_ReadClientSettings(signalAndWait, nullptr); });
  ASSERT_GT(reader, 0);
  // Only the reader keeps these ends, so a reader that fails is seen as end of file.
  close(s_readerToParent[1]);
  close(s_parentToReader[0]);
  char byte = 0;
  ASSERT_EQ(read(s_readerToParent[0], &byte, 1), 1);  // the reader is inside its callback

  // The parent changes the list while the reader holds the lock; a writer that got in now
  // would not see this entry.
  writeFile(clientsXml(),
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)", R"(<CLIENT MAC="0:0:0:0:0:2"/>)"}));
  pid_t writer = startChild([] {
    return Kyto_Util_AddClientToXMLFile("0:0:0:0:0:3", nullptr, -1, nullptr, nullptr, -1);
  });
  ASSERT_GT(writer, 0);

  struct stat lock {};
  ASSERT_EQ(stat(clientsLock().c_str(), &lock), 0);
  // Wait (without a time assertion) until the kernel shows the writer blocked on the lock; a
  // writer that finishes first never waited.
  bool blocked = false;
  bool writerEnded = false;
  int writerStatus = 0;
  for (int i = 0; i < 3000; ++i) {
    blocked = waitsForFlock(writer, lock.st_ino);
    writerEnded = !blocked && waitpid(writer, &writerStatus, WNOHANG) == writer;
    if (blocked || writerEnded) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(blocked) << "the writer never waited for the lock";
  EXPECT_EQ(readFile(clientsXml()),
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)", R"(<CLIENT MAC="0:0:0:0:0:2"/>)"}));

  ASSERT_EQ(write(s_parentToReader[1], "g", 1), 1);
  EXPECT_EQ(exitStatusOf(reader), 0);
  if (!writerEnded) {
    EXPECT_EQ(exitStatusOf(writer), 0);
  }
  EXPECT_EQ(readFile(clientsXml()),
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)", R"(<CLIENT MAC="0:0:0:0:0:2"/>)",
                      R"(<CLIENT MAC="0:0:0:0:0:3"/>)"}));
  close(s_readerToParent[0]);
  close(s_parentToReader[1]);
}

}  // namespace
