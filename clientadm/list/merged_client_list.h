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
#include "list_order.h"
#include "mac_index.h"

namespace kyto::clientadm {

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
  // them through next. Returns the first record, or null when there is none; the chain is valid
  // until the next merge.
  const ClientRecord* finish() noexcept;

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
  ClientRecord* head_ = nullptr;
  bool linked_ = true;
  // The checked records with a non-empty MAC text, which no two of them share; with room for the
  // unchecked ones.
  MacIndex byMac_;
  // Records with the empty MAC text, at most one per source; the first is the first in list
  // order.
  std::map<std::int32_t, ClientRecord*> withoutMac_;
};

}  // namespace kyto::clientadm
