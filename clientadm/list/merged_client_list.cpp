#include "merged_client_list.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string_view>

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
  if (listed_.capacity() < places_.capacity()) listed_.reserve(places_.capacity());
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

ListedRecords MergedClientList::finish() noexcept {
  if (!linked_) {
    checkReports();
    sortAndLink(places_);
    listed_.clear();
    for (const ListPlace& place : places_) listed_.push_back(place.record);  // room kept by add()
    linked_ = true;
  }
  return listed_;
}

namespace {

constexpr std::size_t kInitialSlots = 1024;

}  // namespace

MacIndex::Hash MacIndex::hashOf(std::string_view mac) noexcept {
  return static_cast<Hash>(std::hash<std::string_view>{}(mac));
}

void MacIndex::place(Slots& slots, Slot slot) noexcept {
  const std::size_t mask = slots.size() - 1;
  std::size_t at = slot.hash & mask;
  while (slots[at].record != nullptr) at = (at + 1) & mask;
  slots[at] = slot;
}

void MacIndex::reserveMore(std::size_t records) {
  std::size_t size = slots_.empty() ? kInitialSlots : slots_.size();
  while (size < 2 * (used_ + records)) size *= 2;
  if (size == slots_.size()) return;
  // Built aside and swapped in, so a failed allocation changes nothing.
  Slots grown(size);
  for (const Slot& slot : slots_) {
    if (slot.record != nullptr) place(grown, slot);
  }
  slots_.swap(grown);
}

void MacIndex::prefetch(Hash hash) const noexcept {
  if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
}

ClientRecord* MacIndex::findOrInsert(Hash hash, ClientRecord* record) noexcept {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = hash & mask;
  for (; slots_[at].record != nullptr; at = (at + 1) & mask) {
    if (slots_[at].hash == hash && slots_[at].record->mac == record->mac) return slots_[at].record;
  }
  slots_[at] = Slot{hash, record};
  ++used_;
  return record;
}

namespace {

// Eight bytes of text from offset, big-endian, with zeros past its end: comparing two such
// words as numbers compares those bytes as unsigned chars, as strcmp does.
std::uint64_t wordAt(std::string_view text, std::size_t offset) noexcept {
  std::uint64_t word = 0;
  for (std::size_t i = offset; i < offset + 8; ++i) {
    word = (word << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
  }
  return word;
}

bool sortsBefore(const ListPlace& a, const ListPlace& b) noexcept {
  if (a.comeFrom != b.comeFrom) return a.comeFrom < b.comeFrom;
  if (a.macHead[0] != b.macHead[0]) return a.macHead[0] < b.macHead[0];
  if (a.macHead[1] != b.macHead[1]) return a.macHead[1] < b.macHead[1];
  // char_traits<char> compares as unsigned char, so this is strcmp's order too.
  return std::string_view(a.record->mac) < std::string_view(b.record->mac);
}

}  // namespace

ListPlace placeOf(ClientRecord* record) noexcept {
  ListPlace place;
  place.comeFrom = record->comeFrom;
  place.macHead[0] = wordAt(record->mac, 0);
  place.macHead[1] = wordAt(record->mac, 8);
  place.record = record;
  return place;
}

// Below this many places a comparison sort is as fast.
constexpr std::size_t kRadixFrom = 512;

// A stable sort of the places by one byte of a key, skipped when they all share it.
template <typename ByteOf>
void sortByByte(ListPlaces& places, ListPlaces& spare, ByteOf byteOf) {
  std::size_t counts[256] = {};
  for (const ListPlace& place : places) ++counts[byteOf(place)];
  for (const std::size_t count : counts)
    if (count == places.size()) return;
  std::size_t next[256];
  std::size_t at = 0;
  for (int byte = 0; byte < 256; ++byte) {
    next[byte] = at;
    at += counts[byte];
  }
  for (ListPlace& place : places) spare[next[byteOf(place)]++] = std::move(place);
  places.swap(spare);
}

// By comeFrom and the MAC text's first eight bytes, a byte at a time from the last, which takes
// time in proportion to the places (a large list's MAC texts mostly differ there); then each run
// that shares those keys by the rest, which is short.
bool radixSort(ListPlaces& places) noexcept {
  ListPlaces spare;
  try {
    spare.resize(places.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int shift = 0; shift < 64; shift += 8) {
    sortByByte(places, spare, [shift](const ListPlace& place) {
      return static_cast<unsigned char>(place.macHead[0] >> shift);
    });
  }
  // comeFrom is a ClientSource, 0 to 2; any other value sorts by its low byte, ordered by sign.
  sortByByte(places, spare, [](const ListPlace& place) {
    return static_cast<unsigned char>(static_cast<std::uint32_t>(place.comeFrom) + 0x80u);
  });
  for (auto run = places.begin(); run != places.end();) {
    auto end = run + 1;
    while (end != places.end() && end->comeFrom == run->comeFrom &&
           end->macHead[0] == run->macHead[0])
      ++end;
    if (end - run > 1) std::sort(run, end, sortsBefore);
    run = end;
  }
  return true;
}

void sortAndLink(ListPlaces& places) noexcept {
  const bool inRange = std::all_of(places.begin(), places.end(), [](const ListPlace& place) {
    return place.comeFrom >= -128 && place.comeFrom < 128;
  });
  if (places.size() < kRadixFrom || !inRange || !radixSort(places))
    std::sort(places.begin(), places.end(), sortsBefore);
  ClientRecord* next = nullptr;
  for (auto place = places.rbegin(); place != places.rend(); ++place) {
    place->record->next = next;
    next = place->record;
  }
}

}  // namespace kyto::clientadm
