#include "process_limits.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>

#include "private_namespace.h"
#include "test_support.h"

namespace kyto::test {

namespace {

constexpr std::size_t kPage = 4096;

int runInChild(void (*limit)(std::size_t), std::size_t amount, int (*body)()) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    limit(amount);
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void limitFileSize(std::size_t bytes) {
  signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of killing the child
  rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
  alarm(10);  // a call that blocks ends the child instead of the test run
}

// Counts from the child's own size, since the test program's size varies with the build.
void limitAddressSpaceGrowth(std::size_t bytes) {
  std::ifstream status("/proc/self/status");
  std::size_t kilobytes = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) kilobytes = std::stoul(line.substr(7));
  }
  rlimit limit{kilobytes * 1024 + bytes, kilobytes * 1024 + bytes};
  if (kilobytes == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(125);
}

}  // namespace

int runWithTinyFileSizeLimit(int (*body)()) {
  return runInChild(limitFileSize, 64, body);
}

int runWithMemoryHeadroom(int (*body)(), std::size_t headroomBytes) {
  return runInChild(limitAddressSpaceGrowth, headroomBytes, body);
}

ScratchMount::ScratchMount(const std::string& dir, std::size_t bytes) : dir_(dir) {
  failure_ = privateMountNamespace();
  if (!failure_.empty()) return;
  makeDirs(dir);
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
    failure_ = std::string("mount -t tmpfs: ") + strerror(errno);
}

ScratchMount::~ScratchMount() {
  if (failure_.empty()) umount2(dir_.c_str(), MNT_DETACH);
}

bool ScratchMount::fillLeaving(std::size_t leftBytes) {
  const int fd = open((dir_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  char page[kPage];
  memset(page, 'f', sizeof page);
  off_t size = 0;
  for (ssize_t n; (n = write(fd, page, sizeof page)) > 0;) size += n;
  const bool full = errno == ENOSPC && size >= static_cast<off_t>(leftBytes) &&
                    ftruncate(fd, size - static_cast<off_t>(leftBytes)) == 0;
  close(fd);
  struct statvfs st {};
  return full && statvfs(dir_.c_str(), &st) == 0 && st.f_bavail * st.f_frsize == leftBytes;
}

bool ScratchMount::remountReadOnly() {
  return mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

}  // namespace kyto::test
