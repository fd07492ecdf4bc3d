#include "merged_client_list.h"

#include <iterator>

#include "server_settings.h"

namespace kyto::clientadm {

namespace {

std::string textOrEmpty(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

void refresh(ClientRecord& record, const char* ip, const char* deviceName) {
  if (ip != nullptr && *ip != '\0') record.ip = ip;
  if (deviceName != nullptr && *deviceName != '\0') record.deviceName = deviceName;
}

// A new record keeps what its creating source says; only the stored list knows users and deny
// flags, the caches report the server's anonymous setting.
std::unique_ptr<ClientRecord> makeRecord(const char* mac, const char* ip, const char* deviceName,
                                         const char* clientType, int profileId, const char* user,
                                         int comeFrom, int deny, std::int32_t anonymousDeny) {
  auto record = std::make_unique<ClientRecord>();
  record->mac = textOrEmpty(mac);
  record->ip = textOrEmpty(ip);
  record->deviceName = textOrEmpty(deviceName);
  record->clientType = textOrEmpty(clientType);
  record->profileId = profileId;
  record->comeFrom = comeFrom;
  const bool stored = comeFrom == FromUserSettings;
  record->user = stored ? textOrEmpty(user) : std::string();
  record->deny = stored ? deny : anonymousDeny;
  return record;
}

}  // namespace

ClientRecord* MergedClientList::firstWithMac(std::string_view mac) const {
  const auto found = firstByMac_.find(mac);
  return found == firstByMac_.end() ? nullptr : found->second;
}

int MergedClientList::merge(const char* mac, const char* ip, const char* deviceName,
                            const char* clientType, int profileId, const char* user, int comeFrom,
                            int deny, std::int32_t anonymousDeny) noexcept {
  try {
    // Only a given MAC text, even an empty one, is looked for; a client without one is new.
    if (mac != nullptr) {
      if (ClientRecord* known = firstWithMac(mac)) {
        refresh(*known, ip, deviceName);
        return 0;  // its keys are unchanged, so it keeps its place
      }
    }
    return insert(makeRecord(mac, ip, deviceName, clientType, profileId, user, comeFrom, deny,
                             anonymousDeny));
  } catch (...) {
    return 1;
  }
}

int MergedClientList::insert(std::unique_ptr<ClientRecord> record) {
  ClientRecord* added = record.get();
  const auto [place, inserted] =
      byPlace_.try_emplace(Place{added->comeFrom, added->mac}, std::move(record));
  if (!inserted) return 0;  // the same source reported a client without MAC address twice
  try {
    // Records sharing a MAC text (only the empty one can) come in comeFrom order.
    const auto [first, isFirst] = firstByMac_.try_emplace(added->mac, added);
    if (!isFirst && added->comeFrom < first->second->comeFrom) first->second = added;
  } catch (...) {
    byPlace_.erase(place);
    throw;
  }
  // The map and the list share their order: link the record after its predecessor in the map.
  const auto after = std::next(place);
  added->next = after == byPlace_.end() ? nullptr : after->second.get();
  if (place == byPlace_.begin()) {
    head_ = added;
  } else {
    std::prev(place)->second->next = added;
  }
  return 0;
}

void MergedClientList::print(std::FILE* out) const {
  for (const ClientRecord* record = head_; record != nullptr; record = record->next) {
    std::fprintf(out, "%d|%s|%s|%s|%s|%d|%s|%d\n", record->deny, record->mac.c_str(),
                 record->ip.c_str(), record->deviceName.c_str(), record->clientType.c_str(),
                 record->profileId, record->user.c_str(), record->comeFrom);
  }
}

MergedClientList& mergedClientList() {
  static MergedClientList list;
  return list;
}

int mergeClient(const char* mac, const char* ip, const char* deviceName, const char* clientType,
                int profileId, const char* user, int comeFrom, int deny) noexcept {
  return mergedClientList().merge(mac, ip, deviceName, clientType, profileId, user, comeFrom, deny,
                                  denyAnonymous);
}

void printClientList() {
  mergedClientList().print(stdout);
}

}  // namespace kyto::clientadm
