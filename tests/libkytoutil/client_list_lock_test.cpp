#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "client_list_text.h"
#include "kytoutil/kytoutil.h"
#include "staged_root.h"
#include "stored_client_reader.h"
#include "test_support.h"

namespace {

using ClientFilesTest = kyto::test::FreshProcessRoot;
using kyto::test::fileExists;
using kyto::test::listFile;
using kyto::test::processPaths;
using kyto::test::readFile;
using kyto::test::writeFile;

using ClientListLock = ClientFilesTest;

int readNothing(void*, const unsigned char*, const char*, const char*, int, const char*,
                const char*, int) {
  return 0;
}

const struct {
  const char* name;
  int (*call)();
} kOperations[] = {
    {"read", [] { return Kyto_Util_ReadClientSettings(readNothing, nullptr); }},
    {"add", [] { return Kyto_Util_AddClientToXMLFile("0:0:0:0:0:1", 0, 1, 0, 0, -1); }},
    {"del", [] { return Kyto_Util_DelClientFromXMLFile("0:0:0:0:0:1"); }},
};

// Every user who may read the list takes its lock, so the lock file is readable by all whatever
// the umask of the process that made it; one that exists keeps its mode.
TEST_F(ClientListLock, IsCreated0644WhateverTheUmask) {
  for (const auto& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    std::filesystem::remove(processPaths().clientsLock);
    const mode_t saved = umask(077);
    operation.call();
    umask(saved);
    struct stat st {};
    ASSERT_EQ(stat(processPaths().clientsLock.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
  }
  ASSERT_EQ(chmod(processPaths().clientsLock.c_str(), 0600), 0);
  kOperations[0].call();
  struct stat st {};
  ASSERT_EQ(stat(processPaths().clientsLock.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(ClientListLock, AMissingDirectoryIsReportedByEveryOperation) {
  std::filesystem::remove_all(processPaths().configDir);
  for (const auto& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(operation.call(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Lock file failed(2): No such file or directory\n");
  }
  EXPECT_FALSE(fileExists(processPaths().configDir));
}

// Opening the lock file through a link would truncate, or create, whatever the link names.
TEST_F(ClientListLock, ALinkInItsPlaceIsRefusedAndNotFollowed) {
  const std::string list = listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)"});
  for (const char* target : {"clients.xml", "elsewhere"}) {
    SCOPED_TRACE(target);
    SetUp();
    writeFile(processPaths().clientsXml, list);
    ASSERT_EQ(symlink(target, processPaths().clientsLock.c_str()), 0);
    for (const auto& operation : kOperations) {
      SCOPED_TRACE(operation.name);
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(operation.call(), 1);
      EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                "Lock file failed(" + std::to_string(ELOOP) + "): " + strerror(ELOOP) + "\n");
    }
    EXPECT_EQ(readFile(processPaths().clientsXml), list);
    EXPECT_FALSE(fileExists(processPaths().configDir + "elsewhere"));
  }
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
  writeFile(processPaths().clientsXml, listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)"}));
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
  writeFile(processPaths().clientsXml,
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)", R"(<CLIENT MAC="0:0:0:0:0:2"/>)"}));
  pid_t writer = startChild([] {
    return Kyto_Util_AddClientToXMLFile("0:0:0:0:0:3", nullptr, -1, nullptr, nullptr, -1);
  });
  ASSERT_GT(writer, 0);

  // A writer that did not wait would be done with a list of two clients long before this.
  int writerStatus = 0;
  const bool writerWaited = kyto::test::stillRunningAfter(writer, 1000, &writerStatus);
  EXPECT_TRUE(writerWaited) << "the writer never waited for the lock";
  EXPECT_EQ(readFile(processPaths().clientsXml),
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)", R"(<CLIENT MAC="0:0:0:0:0:2"/>)"}));

  ASSERT_EQ(write(s_parentToReader[1], "g", 1), 1);
  EXPECT_EQ(exitStatusOf(reader), 0);
  if (writerWaited) {
    EXPECT_EQ(exitStatusOf(writer), 0);
  }
  EXPECT_EQ(readFile(processPaths().clientsXml),
            listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)", R"(<CLIENT MAC="0:0:0:0:0:2"/>)",
                      R"(<CLIENT MAC="0:0:0:0:0:3"/>)"}));
  close(s_readerToParent[0]);
  close(s_parentToReader[1]);
}

int readOneClient() {
  kyto::test::ReadResult result = kyto::test::readStoredClients();
  return result.status == 0 && result.clients.size() == 1 ? 0 : 1;
}

constexpr uid_t kNobody = 65534;
constexpr int kCannotTry = 77;

// The lock file is never written, so read access to it is enough to take the lock. Root may
// write any file, so as root the reader runs as nobody.
TEST_F(ClientListLock, IsTakenWithReadAccessToTheLockFileAlone) {
  writeFile(processPaths().clientsXml, listFile({R"(<CLIENT MAC="0:0:0:0:0:1"/>)"}));
  writeFile(processPaths().clientsLock, "");
  ASSERT_EQ(chmod(processPaths().clientsLock.c_str(), 0444), 0);
  // The private root and the directories down to the list, reachable for the other user.
  std::filesystem::path dir = std::filesystem::path(processPaths().clientsXml).parent_path();
  for (int level = 0; level < 4; ++level, dir = dir.parent_path())
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0) << dir;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      _exit(kCannotTry);
    _exit(readOneClient());
  }
  const int status = exitStatusOf(child);
  if (status == kCannotTry) GTEST_SKIP() << "root could not run the reader as another user";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readFile(processPaths().clientsLock), "");
}

}  // namespace
