#include "merged_client_list.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace kyto::clientadm {

std::string_view MergedClientList::copy(const char* text) {
  if (text == nullptr || *text == '\0') return {};
  const std::size_t length = std::strlen(text);
  auto* room = static_cast<char*>(texts_.allocate(length, 1));
  std::copy(text, text + length, room);
  return {room, length};
}

void MergedClientList::refresh(ClientRecord& record, std::string_view ip,
                               std::string_view deviceName) {
  if (!ip.empty()) record.ip = ip;
  if (!deviceName.empty()) record.deviceName = deviceName;
}

ClientRecord& MergedClientList::create(std::int32_t comeFrom, const ClientReport& client) {
  ClientRecord& record = records_.emplace_back();
  for (const RecordField& field : kRecordFields)
    if (field.text != nullptr) record.*field.text = copy(client.*field.reported);
  record.profileId = client.profileId;
  record.comeFrom = comeFrom;
  record.deny = client.deny;
  return record;
}

int MergedClientList::merge(std::int32_t comeFrom, const ClientReport& client) noexcept {
  try {
    if (client.mac != nullptr && *client.mac != '\0') {
      create(comeFrom, client);  // an earlier record of its address is found by finish()
      return 0;
    }
    if (client.mac != nullptr && !withoutMac_.empty()) {
      // The empty MAC text is looked for as any other: the first record that has it.
      refresh(*withoutMac_.begin()->second, copy(client.ip), copy(client.deviceName));
      return 0;
    }
    if (withoutMac_.contains(comeFrom)) return 0;  // one source reported it twice
    withoutMac_.emplace(comeFrom, &create(comeFrom, client));
    return 0;
  } catch (...) {
    return 1;
  }
}

namespace {

// A record with what the sorts compare, the first bytes of its MAC text among them: the sorts
// compare these instead of following two pointers to the text, which for a large list lie all
// over memory.
struct Place {
  std::int32_t comeFrom;
  std::array<char, 16> macHead;
  std::size_t arrival;
  ClientRecord* record;
};

Place placeOf(ClientRecord& record, std::size_t arrival) {
  Place place{record.comeFrom, {}, arrival, &record};
  record.mac.copy(place.macHead.data(), place.macHead.size());
  return place;
}

// Texts that differ within their first 16 bytes differ there as they do whole (a shorter one is
// padded with NULs, which no text holds).
int compareMacs(const Place& a, const Place& b) {
  const int head = std::memcmp(a.macHead.data(), b.macHead.data(), a.macHead.size());
  return head != 0 ? head : a.record->mac.compare(b.record->mac);
}

bool byMacThenArrival(const Place& a, const Place& b) {
  const int mac = compareMacs(a, b);
  return mac != 0 ? mac < 0 : a.arrival < b.arrival;
}

bool inListOrder(const Place& a, const Place& b) {
  return a.comeFrom != b.comeFrom ? a.comeFrom < b.comeFrom : compareMacs(a, b) < 0;
}

}  // namespace

const ClientRecord* MergedClientList::finish() noexcept {
  try {
    std::pmr::vector<Place> places(largePageResource());
    places.reserve(records_.size());
    for (std::size_t i = 0; i < records_.size(); ++i) places.push_back(placeOf(records_[i], i));
    // The reports of one address together, in the order they came: the first keeps its record,
    // which the later ones refresh. Refreshing again at a later finish gives the same record.
    std::sort(places.begin(), places.end(), byMacThenArrival);
    std::size_t kept = 0;
    for (std::size_t i = 0, next = 0; i < places.size(); i = next) {
      ClientRecord& first = *places[i].record;
      for (next = i + 1;
           next < places.size() && !first.mac.empty() && compareMacs(places[next], places[i]) == 0;
           ++next)
        refresh(first, places[next].record->ip, places[next].record->deviceName);
      places[kept++] = places[i];
    }
    places.resize(kept);
    std::sort(places.begin(), places.end(), inListOrder);
    for (std::size_t i = 0; i < places.size(); ++i)
      places[i].record->next = i + 1 < places.size() ? places[i + 1].record : nullptr;
    return places.empty() ? nullptr : places.front().record;
  } catch (...) {
    // Without room to sort, every report goes out in the order it came: nothing is lost.
    for (std::size_t i = 0; i < records_.size(); ++i)
      records_[i].next = i + 1 < records_.size() ? &records_[i + 1] : nullptr;
    return records_.empty() ? nullptr : &records_.front();
  }
}

}  // namespace kyto::clientadm
