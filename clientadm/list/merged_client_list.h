// The clients that the list command reports, merged from the stored list and the two caches.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory_resource>
#include <string_view>

#include "client_record.h"
#include "common/large_pages.h"

namespace kyto::clientadm {

// A list ordered by (comeFrom, mac in strcmp order) with one record per MAC text. Every source
// gives a valid MAC address as "%02x:%02x:%02x:%02x:%02x:%02x", so equal addresses are equal
// texts and the list holds one record per address; a text that is no valid address matches only
// itself. The first source that reports a MAC address creates its record from that report as it
// is; later reports refresh only the IP address and the device name, and only with non-empty
// values. What a source may decide for its records (user, deny flag) is decided before the
// report gets here, by mergeClient (list_pipeline.h).
//
// Each report with a MAC text is kept as it comes; when the list is read, one sort by MAC text
// brings the reports of each address together, the first keeps its record and the later ones
// refresh it in the order they came, and one pass chains the records of each source, which are
// then in MAC order, source after source.
class MergedClientList {
 public:
  MergedClientList() = default;
  MergedClientList(const MergedClientList&) = delete;
  MergedClientList& operator=(const MergedClientList&) = delete;

  // One client report of the source comeFrom. 0 when done, 1 when out of memory.
  int merge(std::int32_t comeFrom, const ClientReport& client) noexcept;

  // Links every record in list order through next and returns the first, or null when there is
  // none. The chain stays valid until the next merge.
  const ClientRecord* finish() noexcept;

 private:
  std::string_view copy(const char* text);
  void refresh(ClientRecord& record, std::string_view ip, std::string_view deviceName);
  ClientRecord& create(std::int32_t comeFrom, const ClientReport& client);

  // The records and their texts, kept as long as the list: a large list costs few allocations,
  // and its memory comes in large pages (common/large_pages.h).
  std::pmr::monotonic_buffer_resource texts_{largePageResource()};
  std::pmr::monotonic_buffer_resource recordMemory_{largePageResource()};
  // The reports in the order they came; those that refresh an earlier record of their address
  // are dropped by finish().
  std::pmr::deque<ClientRecord> records_{&recordMemory_};
  // Records with the empty MAC text, at most one per source; the first is the first in list
  // order.
  std::map<std::int32_t, ClientRecord*> withoutMac_;
};

}  // namespace kyto::clientadm
