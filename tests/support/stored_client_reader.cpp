#include "stored_client_reader.h"

#include <cstdio>

#include "kytoutil/kytoutil.h"

namespace kyto::test {

namespace {

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

}  // namespace kyto::test
