#include "private_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kyto::test {

namespace {

bool writeProcFile(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

std::string failedCall(const char* call) {
  return std::string(call) + ": " + std::strerror(errno);
}

}  // namespace

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
  if (!writeProcFile("/proc/self/uid_map",
                     std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
      !writeProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
    return "a user namespace was made but its id maps could not be written";
  return {};
}

const std::string& privateMountNamespace() {
  static const std::string failure = []() -> std::string {
    if (unshare(CLONE_NEWNS) != 0) return failedCall("unshare(CLONE_NEWNS)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return failedCall("mount --make-rprivate /");
    return {};
  }();
  return failure;
}

}  // namespace kyto::test
