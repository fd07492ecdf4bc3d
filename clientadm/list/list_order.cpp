#include "list_order.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "merged_client_list.h"

namespace kyto::clientadm {

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

ClientRecord* sortAndLink(ListPlaces& places) noexcept {
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
  return next;
}

}  // namespace kyto::clientadm
