#include "common/brix_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdarg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "brix_internal.h"
#include "common/descriptors.h"

extern char** environ;

namespace {

using kyto::UniqueFd;

// Moves a descriptor above the standard ones: a dup2 onto itself in the child would keep its
// close-on-exec flag on some libcs, leaving the child without that standard stream.
int aboveStandardFds(int fd) {
  if (fd > STDERR_FILENO) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

// Both ends close on exec, so no later child inherits them.
bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  UniqueFd r(aboveStandardFds(fds[0]));
  UniqueFd w(aboveStandardFds(fds[1]));
  if (r.get() < 0 || w.get() < 0) return false;
  readEnd = UniqueFd(r.release());
  writeEnd = UniqueFd(w.release());
  return true;
}

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attr_);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attr_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // The child gets the pipe end as one standard stream, an empty signal mask and the default
  // SIGPIPE action, so that it dies rather than loops when its reader has gone.
  int prepare(int childFd, int standardFd) {
    int rc = posix_spawn_file_actions_adddup2(&actions_, childFd, standardFd);
    if (rc != 0) return rc;
    sigset_t none, pipeOnly;
    sigemptyset(&none);
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &pipeOnly);
    return posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }

  int spawn(pid_t& pid, std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return posix_spawn(&pid, argv[0], &actions_, &attr_, argv.data(), environ);
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

int waitForChild(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

// A program whose output stream was closed should end soon: it has finished, or its next write
// fails. One that neither exits nor writes (a hung agent) would hold its reader forever, so after
// this grace it is killed.
constexpr std::chrono::seconds kReaderExitGrace{2};

int reapAfterGrace(pid_t pid) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + kReaderExitGrace;
  milliseconds pause{1};
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) return -1;
    if (steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, milliseconds{50});
  }
  kill(pid, SIGKILL);
  return waitForChild(pid);
}

FILE* startProgram(bool reading, std::vector<std::string>& args) {
  UniqueFd readEnd, writeEnd;
  if (!makePipe(readEnd, writeEnd)) return nullptr;
  UniqueFd& ours = reading ? readEnd : writeEnd;
  UniqueFd& theirs = reading ? writeEnd : readEnd;

  SpawnSetup setup;
  int rc = setup.prepare(theirs.get(), reading ? STDOUT_FILENO : STDIN_FILENO);
  if (rc != 0) {
    errno = rc;
    return nullptr;
  }
  FILE* stream = fdopen(ours.get(), reading ? "r" : "w");
  if (stream == nullptr) return nullptr;
  ours.release();

  pid_t pid = -1;
  rc = setup.spawn(pid, args);
  if (rc != 0) {
    // glibc reaps a child whose exec failed before posix_spawn returns.
    fclose(stream);
    errno = rc;
    return nullptr;
  }
  theirs = UniqueFd();
  if (!kyto::brix::registerStream(stream, pid)) {
    fclose(stream);
    waitForChild(pid);
    errno = ENOMEM;
    return nullptr;
  }
  return stream;
}

FILE* popenFromList(const char* mode, va_list ap) {
  std::string_view m(mode != nullptr ? mode : "");
  if (m != "r" && m != "w") {
    errno = EINVAL;
    return nullptr;
  }
  std::vector<std::string_view> strings;
  while (const char* s = va_arg(ap, const char*)) strings.emplace_back(s);
  std::vector<std::string> args = kyto::brix::argumentVector(strings);
  if (args.empty() || args.front().empty()) {
    errno = EINVAL;
    return nullptr;
  }
  return startProgram(m == "r", args);
}

}  // namespace

extern "C" FILE* brix_popen(const char* mode, ...) {
  FILE* stream = nullptr;
  va_list ap;
  va_start(ap, mode);
  try {
    stream = popenFromList(mode, ap);
  } catch (...) {
    errno = ENOMEM;
  }
  va_end(ap);
  return stream;
}

extern "C" int brix_pclose(FILE* stream) {
  pid_t pid = kyto::brix::unregisterStream(stream);
  if (pid < 0) {
    errno = ECHILD;
    return -1;
  }
  bool reading = (fcntl(fileno(stream), F_GETFL) & O_ACCMODE) == O_RDONLY;
  // Closing first: a child still writing gets EPIPE or SIGPIPE instead of blocking the wait.
  fclose(stream);
  // A writer's child has just seen the end of its input and may still have work to do.
  return reading ? reapAfterGrace(pid) : waitForChild(pid);
}
