// The merged list's records by MAC text, for telling the first report of a MAC address from the
// later ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/huge_pages.h"

namespace kyto::clientadm {

struct ClientRecord;

// An open-addressing hash table of records keyed by their (non-empty, never changing) MAC
// texts. One probe sequence in a flat array replaces a node-based map's scattered nodes, which
// dominated the cost of merging many clients.
class MacIndex {
 public:
  // 32 bits: kept with each record's place in the list (list_order.h), where they cost no room.
  using Hash = std::uint32_t;

  static Hash hashOf(std::string_view mac) noexcept;

  // Makes room for this many records more than it holds; throws std::bad_alloc and leaves the
  // index as it was.
  void reserveMore(std::size_t records);

  // Asks for the slot where a MAC text of this hash is looked for first, ahead of the lookup.
  void prefetch(Hash hash) const noexcept;

  // The record that holds the MAC text of record (whose hash is given), or, when none does yet,
  // record itself, which is added in the room that reserve made.
  ClientRecord* findOrInsert(Hash hash, ClientRecord* record) noexcept;

 private:
  struct Slot {
    Hash hash = 0;
    ClientRecord* record = nullptr;  // null: free
  };

  using Slots = std::vector<Slot, HugePageAllocator<Slot>>;
  static void place(Slots& slots, Slot slot) noexcept;

  Slots slots_;  // a power of two in size, kept at most half full
  std::size_t used_ = 0;
};

}  // namespace kyto::clientadm
