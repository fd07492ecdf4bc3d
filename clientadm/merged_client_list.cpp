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

namespace {

// In list order the records lie all over the heap, and a large list is long out of the cache by
// the time it is printed; asking for them a few lines ahead overlaps the misses with the writing.
// First the record itself, then, once it has arrived, the texts it points to.
constexpr std::size_t kRecordsAhead = 16;
constexpr std::size_t kTextsAhead = 8;

void prefetchRecord(const ClientRecord* record) {
  const auto* bytes = reinterpret_cast<const char*>(record);
  for (std::size_t offset = 0; offset < sizeof(ClientRecord); offset += 64)
    __builtin_prefetch(bytes + offset);
}

void prefetchTexts(const ClientRecord* record) {
  for (const std::string* text :
       {&record->mac, &record->ip, &record->deviceName, &record->clientType, &record->user})
    __builtin_prefetch(text->data());
}

}  // namespace

void MergedClientList::print(std::FILE* out) const {
  head();  // places_ in list order
  ListingWriter writer(out);
  const std::size_t count = places_.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kRecordsAhead < count) prefetchRecord(places_[i + kRecordsAhead].record.get());
    if (i + kTextsAhead < count) prefetchTexts(places_[i + kTextsAhead].record.get());
    writer.write(*places_[i].record);
  }
}

}  // namespace kyto::clientadm
