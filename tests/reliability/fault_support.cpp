#include "fault_support.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kyto::reliability {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPage = 4096;

std::string failedCall(const char* call) {
  return std::string(call) + ": " + strerror(errno);
}

// A private mount and IPC namespace for this test process and the programs it starts: mounts
// vanish with the process, and list never sees the machine's own client cache segment.
const std::string& privateNamespaces() {
  static const std::string failure = []() -> std::string {
    if (unshare(CLONE_NEWNS | CLONE_NEWIPC) != 0) return failedCall("unshare(CLONE_NEWNS)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return failedCall("mount --make-rprivate /");
    return {};
  }();
  return failure;
}

std::string programPath(const std::string& name) {
  if (name == "clientadm") return KYTO_CLIENTADM_PATH;
  if (name == "treeshaper") return KYTO_TREESHAPER_PATH;
  return name;
}

}  // namespace

ScratchMount::ScratchMount(const std::string& dir, std::size_t bytes) : dir_(dir) {
  failure_ = privateNamespaces();
  if (!failure_.empty()) return;
  test::makeDirs(dir);
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
    failure_ = failedCall("mount -t tmpfs");
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

Snapshot snapshot(const std::string& dir) {
  Snapshot entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    // Not fs::relative: it resolves links, and some entries are links that lead nowhere.
    const std::string name = it->path().string().substr(dir.size() + 1);
    if (it->is_symlink(ec)) {
      entries[name] = "-> " + fs::read_symlink(it->path(), ec).string();
    } else if (it->is_directory(ec)) {
      entries[name] = "/";
    } else {
      entries[name] = test::readFile(it->path().string());
    }
  }
  return entries;
}

std::string changes(const Snapshot& before, const Snapshot& after) {
  std::string lines;
  for (const auto& [name, content] : before) {
    auto now = after.find(name);
    if (now == after.end()) {
      lines += "removed " + name + "\n";
    } else if (now->second != content) {
      lines += "changed " + name + "\n";
    }
  }
  for (const auto& [name, content] : after) {
    if (!before.contains(name)) lines += "added " + name + "\n";
  }
  return lines;
}

test::ProgramResult runTool(const std::string& root, std::vector<std::string> args,
                            std::vector<std::string> env) {
  (void)privateNamespaces();  // without one the tests still run, in the caller's namespaces
  args.at(0) = programPath(args.at(0));
  env.push_back("KYTO_ROOT=" + root);
  return test::runProgram({args, env, ""});
}

std::string lockFailure(int error) {
  return "Lock file failed(" + std::to_string(error) + "): " + strerror(error) + "\n";
}

namespace {

std::string macOf(int n) {
  char mac[18];
  snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", n >> 8 & 0xff, n & 0xff);
  return mac;
}

}  // namespace

std::string clientList(int count) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTS>\n";
  for (int n = 0; n < count; ++n)
    xml += "  <CLIENT MAC=\"" + macOf(n) + "\" USER=\"user " + std::to_string(n) + "\"/>\n";
  return xml + "</UPNP_CLIENTS>\n";
}

std::string clientListing(int count) {
  std::string lines;
  for (int n = 0; n < count; ++n)
    lines += "0|" + macOf(n) + "||||-1|user " + std::to_string(n) + "|0\n";
  return lines;
}

}  // namespace kyto::reliability
