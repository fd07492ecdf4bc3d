#include <arpa/inet.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "cli/client_type_registry.h"
#include "client_record.h"
#include "common/appliance_paths.h"
#include "common/dms_cache_layout.h"
#include "server_cache.h"

namespace kyto::clientadm {

namespace {

using dmscache::DmsCacheSlot;

// The segment attached for the reader's lifetime; detached on every path out.
class SegmentAttachment {
 public:
  explicit SegmentAttachment(int id) : address_(shmat(id, nullptr, SHM_RDONLY)) {}
  ~SegmentAttachment() {
    if (attached()) shmdt(address_);
  }
  SegmentAttachment(const SegmentAttachment&) = delete;
  SegmentAttachment& operator=(const SegmentAttachment&) = delete;

  // shmat's failure is the address (void*)-1.
  bool attached() const {
    return address_ != reinterpret_cast<void*>(-1);  // NOLINT(performance-no-int-to-ptr)
  }
  const unsigned char* bytes() const { return static_cast<const unsigned char*>(address_); }

 private:
  void* address_;
};

// 0.0.0.0 is no address: the slot reports none, so it neither gives a new record an IP nor
// replaces one that an earlier source gave.
bool hasAddress(const DmsCacheSlot& slot) {
  return std::any_of(std::begin(slot.ipAddr), std::end(slot.ipAddr),
                     [](std::uint8_t byte) { return byte != 0; });
}

void reportSlot(const DmsCacheSlot& slot, const ListContext& context) {
  char ip[INET_ADDRSTRLEN] = "";
  if (hasAddress(slot) && inet_ntop(AF_INET, slot.ipAddr, ip, sizeof ip) == nullptr) ip[0] = '\0';
  char mac[kMacTextSize];
  formatMacText(slot.macAddr, mac);
  // The result is ignored: a client that could not be merged must not hide the next slots.
  mergeClient(context, FromDmsClientCache,
              {.mac = mac, .ip = ip, .clientType = context.registry.nameAt(slot.clientTypeIndex)});
}

}  // namespace

void reportDmsSlots(const unsigned char* segment, const ListContext& context) {
  for (std::size_t i = 0; i < dmscache::kSlotCount; ++i) {
    // The daemon writes slots while we read: decoding one copy taken at once keeps a report
    // from mixing fields read at different moments.
    DmsCacheSlot slot;
    std::memcpy(&slot, segment + i * sizeof slot, sizeof slot);
    if (dmscache::isLive(slot)) reportSlot(slot, context);
  }
}

SourceReport readDmsClientCache(const ListContext& context) {
  // The segment is the daemon's: a reader that created it would fix its size and mode for a
  // later daemon, so a missing segment stays missing and simply holds no clients.
  const int id = shmget(paths::kDmsClientCacheKey, dmscache::kSegmentSize, 0);
  if (id < 0) return {};
  SegmentAttachment segment(id);
  if (!segment.attached()) return {};
  reportDmsSlots(segment.bytes(), context);
  return {};
}

}  // namespace kyto::clientadm
