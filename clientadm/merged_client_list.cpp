#include "merged_client_list.h"

#include "listing_writer.h"
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

ClientRecord* MergedClientList::firstWithMac(std::string_view mac) const noexcept {
  if (!mac.empty()) return byMac_.find(mac);
  return withoutMac_.empty() ? nullptr : withoutMac_.begin()->second;
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
    } else if (withoutMac_.contains(comeFrom)) {
      return 0;  // the same source reported a client without MAC address twice
    }
    return add(makeRecord(mac, ip, deviceName, clientType, profileId, user, comeFrom, deny,
                          anonymousDeny));
  } catch (...) {
    return 1;
  }
}

// Adds a record whose (comeFrom, mac) no record has; on failure the list stays as it was.
int MergedClientList::add(std::unique_ptr<ClientRecord> record) {
  if (places_.size() == places_.capacity()) places_.reserve(2 * places_.size() + 1024);
  ClientRecord* added = record.get();
  if (added->mac.empty()) {
    withoutMac_.emplace(added->comeFrom, added);
  } else {
    byMac_.reserveOneMore();
    byMac_.insert(added);
  }
  // Nothing below throws: the room is reserved.
  places_.push_back(placeOf(std::move(record)));
  linked_ = false;
  return 0;
}

const ClientRecord* MergedClientList::head() const noexcept {
  if (!linked_) {
    head_ = sortAndLink(places_);
    linked_ = true;
  }
  return head_;
}

void MergedClientList::print(std::FILE* out) const {
  ListingWriter writer(out);
  for (const ClientRecord* record = head(); record != nullptr; record = record->next) {
    writer.write(*record);
  }
}

MergedClientList& mergedClientList() {
  // Never destroyed: the list lives until the process ends, and freeing a large one record by
  // record at exit would only cost time.
  static MergedClientList* const list = new MergedClientList;
  return *list;
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
