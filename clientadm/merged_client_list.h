// The clients that the list command reports, merged from the stored list and the two caches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "list_order.h"
#include "mac_index.h"

namespace kyto::clientadm {

// Where a listed client was first reported (its comeFrom).
enum ClientSource : int {
  FromUserSettings = 0,
  FromDmsClientCache = 1,
  FromDmcSearchCache = 2,
};

struct ClientRecord {
  std::string mac;  // empty when the source gave none
  std::string ip;
  std::string deviceName;
  std::string clientType;
  std::int32_t profileId = -1;
  std::string user;
  std::int32_t comeFrom = FromUserSettings;
  std::int32_t deny = 0;
  ClientRecord* next = nullptr;
};

// One client as a source reports it. Every text may be null (not given) and is borrowed for the
// call.
struct ClientReport {
  const char* mac = nullptr;
  const char* ip = nullptr;
  const char* deviceName = nullptr;
  const char* clientType = nullptr;
  std::int32_t profileId = -1;
  const char* user = nullptr;
  std::int32_t deny = 0;
};

// A list ordered by (comeFrom, mac in strcmp order) with one record per MAC text. Every source
// gives a valid MAC address as "%02x:%02x:%02x:%02x:%02x:%02x", so equal addresses are equal
// texts and the list holds one record per address; a text that is no valid address matches only
// itself. The first source that reports a MAC address creates its record from that report as it
// is; later reports refresh only the IP address and the device name, and only with non-empty
// values. What a source may decide for its records (user, deny flag) is decided before the
// report gets here, by mergeClient (list_context.h).
//
// Merging many clients stays fast because the records are found by MAC text through a hash
// index and put in list order only when the list is read: head() and print() sort the records,
// when there were merges since the last read, and link them through next. A chain from head() is
// therefore valid until the next merge.
class MergedClientList {
 public:
  MergedClientList() = default;
  MergedClientList(const MergedClientList&) = delete;
  MergedClientList& operator=(const MergedClientList&) = delete;

  // One client report of the source comeFrom. 0 when done, 1 when out of memory.
  int merge(std::int32_t comeFrom, const ClientReport& client) noexcept;

  const ClientRecord* head() const noexcept;

  // One line per record: "deny|mac|ip|deviceName|clientType|profileId|user|comeFrom".
  void print(std::FILE* out) const;

 private:
  ClientRecord* firstWithMac(std::string_view mac) const noexcept;
  int add(std::unique_ptr<ClientRecord> record);

  mutable std::vector<ListPlace> places_;  // owns the records; in list order when linked_
  mutable ClientRecord* head_ = nullptr;
  mutable bool linked_ = true;
  MacIndex byMac_;  // records with a non-empty MAC text, which no two records share
  // Records with the empty MAC text, at most one per source; the first is the first in list
  // order.
  std::map<std::int32_t, ClientRecord*> withoutMac_;
};

}  // namespace kyto::clientadm
