#include "client_files.h"

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "kytoutil/kytoutil.h"
#include "test_support.h"

namespace kyto::test {

namespace {

std::unique_ptr<TempDir> s_root;

class PrivateRoot : public ::testing::Environment {
 public:
  void SetUp() override {
    s_root = std::make_unique<TempDir>();
    setenv("KYTO_ROOT", s_root->path().c_str(), 1);
  }
  void TearDown() override { s_root.reset(); }
};

[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new PrivateRoot);

std::optional<std::string> textOrNone(const char* text) {
  return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

struct Collector {
  std::vector<StoredClient> clients;
  size_t stopAfter;
};

int collect(void* context, const unsigned char* mac, const char* ip, const char* device,
            int profileId, const char* user, const char* clientType, int deny) {
  auto* collector = static_cast<Collector*>(context);
  char macText[18];
  snprintf(macText, sizeof macText, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
           mac[4], mac[5]);
  collector->clients.push_back({macText, textOrNone(ip), textOrNone(device), profileId,
                                textOrNone(user), textOrNone(clientType), deny});
  return collector->clients.size() >= collector->stopAfter ? 1 : 0;
}

}  // namespace

std::string configDir() {
  return s_root->path() + "/etc/config/kytomediasvr";
}
std::string clientsXml() {
  return configDir() + "/clients.xml";
}
std::string clientsLock() {
  return configDir() + "/clients.lock";
}
std::string clientTypesXml() {
  return configDir() + "/clientTypes.xml";
}

std::string listFile(std::initializer_list<std::string_view> clientElements) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (clientElements.size() == 0) return text + "<UPNP_CLIENTS/>\n";
  text += "<UPNP_CLIENTS>\n";
  for (std::string_view element : clientElements) text.append("  ").append(element) += "\n";
  return text + "</UPNP_CLIENTS>\n";
}

void PrintTo(const StoredClient& c, std::ostream* os) {
  auto show = [](const std::optional<std::string>& text) { return text ? *text : "(null)"; };
  *os << "{" << c.mac << " ip=" << show(c.ip) << " device=" << show(c.device)
      << " profile=" << c.profileId << " user=" << show(c.user) << " type=" << show(c.clientType)
      << " deny=" << c.deny << "}";
}

ReadResult readStoredClients(size_t stopAfter) {
  Collector collector{{}, stopAfter};
  int status = Kyto_Util_ReadClientSettings(collect, &collector);
  return {status, std::move(collector.clients)};
}

namespace {

int runInChild(void (*limit)(size_t), size_t amount, int (*body)()) {
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

void limitFileSize(size_t bytes) {
  signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of killing the child
  rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
  alarm(10);  // a call that blocks ends the child instead of the test run
}

// Counts from the child's own size, since the test program's size varies with the build.
void limitAddressSpaceGrowth(size_t bytes) {
  std::ifstream status("/proc/self/status");
  size_t kilobytes = 0;
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

int runWithMemoryHeadroom(int (*body)(), size_t headroomBytes) {
  return runInChild(limitAddressSpaceGrowth, headroomBytes, body);
}

void ClientFilesTest::SetUp() {
  std::error_code ec;
  std::filesystem::remove_all(configDir(), ec);
  makeDirs(configDir());
}

}  // namespace kyto::test
