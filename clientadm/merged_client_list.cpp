#include "merged_client_list.h"

#include "listing_writer.h"

namespace kyto::clientadm {

namespace {

std::string textOrEmpty(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

void refresh(ClientRecord& record, const char* ip, const char* deviceName) {
  if (ip != nullptr && *ip != '\0') record.ip = ip;
  if (deviceName != nullptr && *deviceName != '\0') record.deviceName = deviceName;
}

std::unique_ptr<ClientRecord> makeRecord(std::int32_t comeFrom, const ClientReport& client) {
  auto record = std::make_unique<ClientRecord>();
  record->mac = textOrEmpty(client.mac);
  record->ip = textOrEmpty(client.ip);
  record->deviceName = textOrEmpty(client.deviceName);
  record->clientType = textOrEmpty(client.clientType);
  record->profileId = client.profileId;
  record->user = textOrEmpty(client.user);
  record->comeFrom = comeFrom;
  record->deny = client.deny;
  return record;
}

}  // namespace

ClientRecord* MergedClientList::firstWithMac(std::string_view mac) const noexcept {
  if (!mac.empty()) return byMac_.find(mac);
  return withoutMac_.empty() ? nullptr : withoutMac_.begin()->second;
}

int MergedClientList::merge(std::int32_t comeFrom, const ClientReport& client) noexcept {
  try {
    // Only a given MAC text, even an empty one, is looked for; a client without one is new.
    if (client.mac != nullptr) {
      if (ClientRecord* known = firstWithMac(client.mac)) {
        refresh(*known, client.ip, client.deviceName);
        return 0;  // its keys are unchanged, so it keeps its place
      }
    } else if (withoutMac_.contains(comeFrom)) {
      return 0;  // the same source reported a client without MAC address twice
    }
    return add(makeRecord(comeFrom, client));
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

}  // namespace kyto::clientadm
