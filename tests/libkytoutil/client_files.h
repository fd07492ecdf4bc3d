// The private root of a file test process and helpers to read the client list through the
// library. The library resolves its paths once per process, so every test of the process shares
// one root (KYTO_ROOT) and starts from an emptied configuration directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kyto::test {

std::string configDir();  // <root>/etc/config/kytomediasvr
std::string clientsXml();
std::string clientsLock();
std::string clientTypesXml();

// A clients.xml as the library writes it, holding these CLIENT elements.
std::string listFile(std::initializer_list<std::string_view> clientElements);

// One entry as Read hands it on; the MAC bytes shown as "%02x:...".
struct StoredClient {
  std::string mac;
  std::optional<std::string> ip;
  std::optional<std::string> device;
  int profileId = -1;
  std::optional<std::string> user;
  std::optional<std::string> clientType;
  int deny = 0;
  bool operator==(const StoredClient&) const = default;
};
void PrintTo(const StoredClient& client, std::ostream* os);

struct ReadResult {
  int status = -1;
  std::vector<StoredClient> clients;
};
// Kyto_Util_ReadClientSettings with a callback that asks to stop after stopAfter entries.
ReadResult readStoredClients(size_t stopAfter = SIZE_MAX);

// Runs body in a child process under a file size limit that any real write exceeds, and returns
// the child's result (-1 when it didn't exit normally, or was still blocked after 10 s). Works for
// root too.
int runWithTinyFileSizeLimit(int (*body)());

// Runs body in a child process whose address space may grow by only headroomBytes, and returns
// the child's result (-1 when it didn't exit normally).
int runWithMemoryHeadroom(int (*body)(), size_t headroomBytes);

class ClientFilesTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

}  // namespace kyto::test
