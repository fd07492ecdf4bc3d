// Layout of the media server's client cache in System V shared memory. The daemon fills the
// slots; clientadm only reads them. The key is kyto::paths::kDmsClientCacheKey.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyto::dmscache {

inline constexpr std::size_t kSegmentSize = 2640;
inline constexpr std::size_t kSlotCount = 64;
inline constexpr int kSegmentMode = 0666;

// Set in DmsCacheSlot::flags: the slot is left out of the listing.
inline constexpr std::uint8_t kSlotHidden = 0x08;

struct DmsCacheSlot {
  std::uint8_t ipAddr[4];  // IPv4 address, network byte order
  std::uint8_t macAddr[6];
  std::uint8_t daemonReserved1[6];
  std::uint8_t flags;
  std::uint8_t daemonReserved2[7];
  std::uint64_t inUse;           // zero marks a free slot
  std::int16_t clientTypeIndex;  // position in the client type registry, host byte order
  std::uint8_t daemonReserved3[6];
};

static_assert(sizeof(DmsCacheSlot) == 40);
static_assert(offsetof(DmsCacheSlot, macAddr) == 4);
static_assert(offsetof(DmsCacheSlot, flags) == 16);
static_assert(offsetof(DmsCacheSlot, inUse) == 24);
static_assert(offsetof(DmsCacheSlot, clientTypeIndex) == 32);
static_assert(kSlotCount * sizeof(DmsCacheSlot) <= kSegmentSize);

inline bool isLive(const DmsCacheSlot& slot) {
  return slot.inUse != 0 && (slot.flags & kSlotHidden) == 0;
}

}  // namespace kyto::dmscache
