#include "dms_cache.h"

#include <arpa/inet.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

#include "common/appliance_paths.h"
#include "client_type_registry.h"
#include "common/dms_cache_layout.h"
#include "mac_text.h"
#include "server_settings.h"

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

  bool attached() const { return address_ != reinterpret_cast<void*>(-1); }
  const unsigned char* bytes() const { return static_cast<const unsigned char*>(address_); }

 private:
  void* address_;
};

void reportSlot(const DmsCacheSlot& slot, const ClientTypeRegistry& registry, ClientSink sink) {
  char ip[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, slot.ipAddr, ip, sizeof ip) == nullptr) ip[0] = '\0';
  char mac[kMacTextSize];
  formatMacText(slot.macAddr, mac);
  // The result is ignored: a client that could not be merged must not hide the next slots.
  sink(mac, ip, nullptr, registry.nameAt(slot.clientTypeIndex), -1, nullptr, FromDmsClientCache,
       denyAnonymous);
}

}  // namespace

void reportDmsSlots(const unsigned char* segment, const ClientTypeRegistry& registry,
                    ClientSink sink) {
  for (std::size_t i = 0; i < dmscache::kSlotCount; ++i) {
    // The daemon writes slots while we read: decoding one copy taken at once keeps a report
    // from mixing fields read at different moments.
    DmsCacheSlot slot;
    std::memcpy(&slot, segment + i * sizeof slot, sizeof slot);
    if (dmscache::isLive(slot)) reportSlot(slot, registry, sink);
  }
}

int readDmsClientCache(ClientSink sink) {
  // The segment is the daemon's: a reader that created it would fix its size and mode for a
  // later daemon, so a missing segment stays missing and simply holds no clients.
  const int id = shmget(paths::kDmsClientCacheKey, dmscache::kSegmentSize, 0);
  if (id < 0) return 0;
  SegmentAttachment segment(id);
  if (!segment.attached()) return 0;
  reportDmsSlots(segment.bytes(), clientTypeRegistry(), sink);
  return 0;
}

}  // namespace kyto::clientadm
