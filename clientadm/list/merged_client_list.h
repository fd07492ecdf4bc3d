// The clients that the list command reports, merged from the stored list and the two caches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client_record.h"
#include "common/huge_pages.h"

namespace kyto::clientadm {

// ---- the list's order: by comeFrom, then by MAC text in strcmp order

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
void sortAndLink(ListPlaces& places) noexcept;

// ---- the index by MAC text, for telling the first report of a MAC address from the later ones

// An open-addressing hash table of records keyed by their (non-empty, never changing) MAC
// texts. One probe sequence in a flat array replaces a node-based map's scattered nodes, which
// dominated the cost of merging many clients.
class MacIndex {
 public:
  // 32 bits: kept with each record's place in the list (ListPlace), where they cost no room.
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

// ---- the list

// A list ordered by (comeFrom, mac in strcmp order) with one record per MAC text. Every source
// gives a valid MAC address as "%02x:%02x:%02x:%02x:%02x:%02x", so equal addresses are equal
// texts and the list holds one record per address; a text that is no valid address matches only
// itself. The first source that reports a MAC address creates its record from that report as it
// is; later reports refresh only the IP address and the device name, and only with non-empty
// values. What a source may decide for its records (user, deny flag) is decided before the
// report gets here, by mergeClient (list_pipeline.h).
//
// Merging many clients stays fast because the work is done once the sources are read, in bulk: a
// report with a MAC text is kept as a record of its own, unchecked; finish() then finds the
// records of the unchecked reports by MAC text through a hash index, in the order of the reports
// (a report of a MAC text already listed refreshes that record and is dropped), sorts the records
// and links them through next. Reports without a MAC text are checked as they come. The list
// only keeps the records: the writers (listing_writer.h, listing_json.h) print the chain.
class MergedClientList {
 public:
  MergedClientList() = default;
  MergedClientList(const MergedClientList&) = delete;
  MergedClientList& operator=(const MergedClientList&) = delete;

  // One client report of the source comeFrom. 0 when done, 1 when out of memory.
  int merge(std::int32_t comeFrom, const ClientReport& client) noexcept;

  // Checks the reports merged since the last finish, puts every record in list order and links
  // them through next. Returns the records in that order, valid until the next merge.
  ListedRecords finish() noexcept;

 private:
  // A record of the list's own, made in chunks: a large list costs few allocations. Throws
  // std::bad_alloc.
  ClientRecord* newRecord();
  ClientRecord* makeRecord(std::int32_t comeFrom, const ClientReport& client);
  int add(ClientRecord* record);
  void checkReports() noexcept;

  // The records, in chunks that double in size up to a few huge pages: a short list takes a
  // little of the heap, a long one few allocations and few page faults.
  using RecordChunk = std::vector<ClientRecord, HugePageAllocator<ClientRecord>>;
  static constexpr std::size_t kFirstChunkRecords = 64;
  static constexpr std::size_t kLargestChunkBytes = 4 * kHugePageBytes;
  std::vector<RecordChunk> records_;

  // Owns the records; in list order when linked_. Those from checked_ on come from reports not
  // checked yet, in the order of the reports.
  ListPlaces places_;
  std::size_t checked_ = 0;
  // The records in list order once linked_; with room for every place.
  std::vector<const ClientRecord*> listed_;
  bool linked_ = true;
  // The checked records with a non-empty MAC text, which no two of them share; with room for the
  // unchecked ones.
  MacIndex byMac_;
  // Records with the empty MAC text, at most one per source; the first is the first in list
  // order.
  std::map<std::int32_t, ClientRecord*> withoutMac_;
};

}  // namespace kyto::clientadm
