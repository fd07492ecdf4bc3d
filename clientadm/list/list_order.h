// The order of the merged list: by comeFrom, then by MAC text in strcmp order.
#pragma once

#include <cstdint>
#include <vector>

#include "common/huge_pages.h"

namespace kyto::clientadm {

struct ClientRecord;

// A record with its sort key. The first 16 bytes of the MAC text, zero-padded and read
// big-endian, decide almost every comparison without following the pointer to the record.
// macHash is the MAC text's hash for the merged list's index, set by the list (0 without a MAC
// text); it fills what would be padding.
struct ListPlace {
  std::int32_t comeFrom = 0;
  std::uint32_t macHash = 0;
  std::uint64_t macHead[2] = {0, 0};
  ClientRecord* record = nullptr;  // owned by the list
};

ListPlace placeOf(ClientRecord* record) noexcept;

// Sorts the places into list order and links their records through next; returns the first
// record, or null when there is none. No two places may share both comeFrom and MAC text.
using ListPlaces = std::vector<ListPlace, HugePageAllocator<ListPlace>>;
ClientRecord* sortAndLink(ListPlaces& places) noexcept;

}  // namespace kyto::clientadm
