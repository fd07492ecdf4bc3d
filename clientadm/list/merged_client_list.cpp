#include "merged_client_list.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
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

// A record with what the sort compares: the first 16 bytes of its MAC text as two numbers that
// order as the bytes do (a shorter text is padded with NULs, which no text holds), so that a
// comparison neither calls memcmp nor, but for texts that agree that far, follows a pointer to
// the text, which for a large list lies all over memory.
struct Place {
  std::uint64_t macHigh;
  std::uint64_t macLow;
  std::size_t arrival;
  ClientRecord* record;
};

std::uint64_t bigEndianWord(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

Place placeOf(ClientRecord& record, std::size_t arrival) {
  std::array<char, 16> head{};
  record.mac.copy(head.data(), head.size());
  return {bigEndianWord(head.data()), bigEndianWord(head.data() + 8), arrival, &record};
}

int compareMacs(const Place& a, const Place& b) {
  if (a.macHigh != b.macHigh) return a.macHigh < b.macHigh ? -1 : 1;
  if (a.macLow != b.macLow) return a.macLow < b.macLow ? -1 : 1;
  return a.record->mac.compare(b.record->mac);
}

bool byMacThenArrival(const Place& a, const Place& b) {
  const int mac = compareMacs(a, b);
  return mac != 0 ? mac < 0 : a.arrival < b.arrival;
}

// Links the records of places, which are in MAC order with one record per address and source,
// in list order: each source's in the order they have, the sources in the order of comeFrom.
// No second sort is needed, as there are only a few sources.
ClientRecord* chainInListOrder(const std::pmr::vector<Place>& places) {
  std::map<std::int32_t, std::pair<ClientRecord*, ClientRecord*>> chains;  // first and last
  for (const Place& place : places) {
    ClientRecord* record = place.record;
    record->next = nullptr;
    const auto [chain, created] = chains.try_emplace(record->comeFrom, record, record);
    if (created) continue;
    chain->second.second->next = record;
    chain->second.second = record;
  }
  ClientRecord* first = nullptr;
  ClientRecord* last = nullptr;
  for (const auto& [source, chain] : chains) {
    (last != nullptr ? last->next : first) = chain.first;
    last = chain.second;
  }
  return first;
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
    return chainInListOrder(places);
  } catch (...) {
    // Without room to sort, every report goes out in the order it came: nothing is lost.
    for (std::size_t i = 0; i < records_.size(); ++i)
      records_[i].next = i + 1 < records_.size() ? &records_[i + 1] : nullptr;
    return records_.empty() ? nullptr : &records_.front();
  }
}

}  // namespace kyto::clientadm
