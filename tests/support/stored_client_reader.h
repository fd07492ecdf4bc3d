// The client list read back through the library, entry by entry as its callback sees them.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kyto::test {

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

}  // namespace kyto::test
