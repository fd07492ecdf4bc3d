#include "list_order.h"

#include <algorithm>
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

ListPlace placeOf(std::unique_ptr<ClientRecord> record) noexcept {
  ListPlace place;
  place.comeFrom = record->comeFrom;
  place.macHead[0] = wordAt(record->mac, 0);
  place.macHead[1] = wordAt(record->mac, 8);
  place.record = std::move(record);
  return place;
}

ClientRecord* sortAndLink(std::vector<ListPlace>& places) noexcept {
  std::sort(places.begin(), places.end(), sortsBefore);
  ClientRecord* next = nullptr;
  for (auto place = places.rbegin(); place != places.rend(); ++place) {
    place->record->next = next;
    next = place->record.get();
  }
  return next;
}

}  // namespace kyto::clientadm
