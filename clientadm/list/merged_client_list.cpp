#include "merged_client_list.h"

#include <algorithm>

namespace kyto::clientadm {

namespace {

void refresh(ClientRecord& record, const char* ip, const char* deviceName) {
  if (ip != nullptr && *ip != '\0') record.ip = ip;
  if (deviceName != nullptr && *deviceName != '\0') record.deviceName = deviceName;
}

}  // namespace

ClientRecord* MergedClientList::newRecord() {
  if (records_.empty() || records_.back().size() == records_.back().capacity()) {
    constexpr std::size_t kLargest = kLargestChunkBytes / sizeof(ClientRecord);
    const std::size_t last = records_.empty() ? kFirstChunkRecords / 2 : records_.back().capacity();
    RecordChunk chunk;
    chunk.reserve(std::min(2 * last, kLargest));  // never grown: its records stay where they are
    records_.push_back(std::move(chunk));
  }
  return &records_.back().emplace_back();
}

ClientRecord* MergedClientList::makeRecord(std::int32_t comeFrom, const ClientReport& client) {
  ClientRecord* record = newRecord();
  // Each text the report gives, the empty text where it gives none.
  for (const RecordField& field : kRecordFields) {
    if (field.text == nullptr) continue;
    if (const char* text = client.*field.reported; text != nullptr) (record->*field.text) = text;
  }
  record->profileId = client.profileId;
  record->comeFrom = comeFrom;
  record->deny = client.deny;
  return record;
}

int MergedClientList::merge(std::int32_t comeFrom, const ClientReport& client) noexcept {
  try {
    if (client.mac != nullptr && *client.mac != '\0') {
      return add(makeRecord(comeFrom, client));  // checked when the list is read
    }
    // The empty MAC text refreshes the first record that has it; a client given no MAC text at
    // all is new, once per source.
    if (client.mac != nullptr) {
      if (!withoutMac_.empty()) {
        refresh(*withoutMac_.begin()->second, client.ip, client.deviceName);
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

// Adds the record of a report, to be checked when the list is read if it has a MAC text; a
// record without one is new. On failure the list stays as it was, but for the record itself,
// which stays unused in its chunk.
int MergedClientList::add(ClientRecord* record) {
  if (places_.size() == places_.capacity()) places_.reserve(2 * places_.size() + 1024);
  const bool hasMac = !record->mac.empty();
  if (hasMac) {
    byMac_.reserveMore(places_.size() - checked_ + 1);
  } else {
    withoutMac_.emplace(record->comeFrom, record);
  }
  // Nothing below throws: the room is reserved.
  const MacIndex::Hash hash = hasMac ? MacIndex::hashOf(record->mac) : 0;
  places_.push_back(placeOf(record));
  places_.back().macHash = hash;
  linked_ = false;
  return 0;
}

namespace {

// The looking up of many MAC texts waits on a cache miss in the index for each; asking for the
// slots this many reports ahead lets those misses overlap.
constexpr std::size_t kLookupsAhead = 8;

// A later report of a listed MAC text refreshes its record with its non-empty IP address and
// device name, as refresh() does; the report's own record is dropped after.
void refreshFrom(ClientRecord& record, ClientRecord& later) noexcept {
  if (!later.ip.empty()) record.ip.swap(later.ip);
  if (!later.deviceName.empty()) record.deviceName.swap(later.deviceName);
}

}  // namespace

// Checks the unchecked reports in their order: the first record of a MAC text stays, each later
// one refreshes it and is dropped. Nothing here allocates: add() reserved the index's room.
void MergedClientList::checkReports() noexcept {
  std::size_t kept = checked_;
  for (std::size_t i = checked_; i < places_.size(); ++i) {
    if (i + kLookupsAhead < places_.size()) byMac_.prefetch(places_[i + kLookupsAhead].macHash);
    // A MAC text's first byte is not NUL, so only the empty text gives a zero first key word;
    // the record itself, cold by now, is read only when its hash matches another's.
    ClientRecord* record = places_[i].record;
    if (places_[i].macHead[0] != 0) {
      ClientRecord* first = byMac_.findOrInsert(places_[i].macHash, record);
      if (first != record) {
        refreshFrom(*first, *record);
        continue;  // its place is taken by the next kept one, or cut off below
      }
    }
    if (kept != i) places_[kept] = std::move(places_[i]);
    ++kept;
  }
  places_.erase(places_.begin() + static_cast<std::ptrdiff_t>(kept), places_.end());
  checked_ = kept;
}

const ClientRecord* MergedClientList::finish() noexcept {
  if (!linked_) {
    checkReports();
    head_ = sortAndLink(places_);
    linked_ = true;
  }
  return head_;
}

}  // namespace kyto::clientadm
