// The merged list's records by MAC text, for the lookup that every client report starts with.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kyto::clientadm {

struct ClientRecord;

// An open-addressing hash table of records keyed by their (non-empty, never changing) MAC
// texts. One probe sequence in a flat array replaces a node-based map's scattered nodes, which
// dominated the cost of merging many clients.
class MacIndex {
 public:
  // The record with this MAC text, or null.
  ClientRecord* find(std::string_view mac) const noexcept;

  // Makes room for one more record; throws std::bad_alloc and leaves the index as it was.
  void reserveOneMore();

  // Adds a record whose MAC text is not in the index yet, in the room reserveOneMore made.
  void insert(ClientRecord* record) noexcept;

 private:
  struct Slot {
    std::size_t hash = 0;
    ClientRecord* record = nullptr;  // null: free
  };

  static std::size_t hashOf(std::string_view mac) noexcept;
  static void place(std::vector<Slot>& slots, Slot slot) noexcept;

  std::vector<Slot> slots_;  // a power of two in size, kept at most half full
  std::size_t used_ = 0;
};

}  // namespace kyto::clientadm
