#include "common/descriptors.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "test_support.h"

namespace {

// A FIFO with no writer would block a plain open for ever: every case must come back at once.
TEST(OpenRegularFile, OpensOnlyRegularFilesAndNeverBlocks) {
  kyto::test::TempDir dir;
  kyto::test::writeFile(dir / "plain", "content");
  kyto::test::writeFile(dir / "locked", "secret");
  ASSERT_EQ(chmod((dir / "locked").c_str(), 0), 0);
  kyto::test::makeDirs(dir / "dir");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("plain", (dir / "to-plain").c_str()), 0);
  ASSERT_EQ(symlink("fifo", (dir / "to-fifo").c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", (dir / "to-null").c_str()), 0);
  const kyto::UniqueFd sock(socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string sockPath = dir / "sock";
  ASSERT_LT(sockPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, sockPath.c_str());
  ASSERT_EQ(bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const struct {
    const char* name;
    int error;
  } cases[] = {
      {"plain", 0},     {"to-plain", 0},    {"missing", ENOENT}, {"plain/x", ENOTDIR},
      {"dir", EISDIR},  {"fifo", EINVAL},   {"to-fifo", EINVAL}, {"to-null", EINVAL},
      {"sock", EINVAL}, {"locked", EACCES},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.error == EACCES && geteuid() == 0) {
      std::printf("skipped %s: root reads a file without permission bits\n", c.name);
      continue;
    }
    kyto::UniqueFd file;
    EXPECT_EQ(kyto::openRegularFile(dir / c.name, file), c.error);
    EXPECT_EQ(file.valid(), c.error == 0);
    if (!file.valid()) continue;
    const int flags = fcntl(file.get(), F_GETFL);
    EXPECT_EQ(flags & (O_NONBLOCK | O_ACCMODE), O_RDONLY);
    EXPECT_EQ(fcntl(file.get(), F_GETFD), FD_CLOEXEC);
    char text[16] = {};
    EXPECT_EQ(read(file.get(), text, sizeof text - 1), 7);
    EXPECT_STREQ(text, "content");
  }
}

}  // namespace
