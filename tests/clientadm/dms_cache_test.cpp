// Decoding of the media server's client cache slots, on a segment image in memory.
#include "dms_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "client_type_registry.h"
#include "common/dms_cache_layout.h"
#include "server_settings.h"
#include "source_reports.h"

namespace kyto::clientadm {
namespace {

using dmscache::DmsCacheSlot;
using test::SinkCall;

DmsCacheSlot slot(std::vector<std::uint8_t> ip, std::vector<std::uint8_t> mac,
                  std::int16_t typeIndex, std::uint64_t inUse = 1, std::uint8_t flags = 0) {
  DmsCacheSlot s{};
  std::memcpy(s.ipAddr, ip.data(), sizeof s.ipAddr);
  std::memcpy(s.macAddr, mac.data(), sizeof s.macAddr);
  s.clientTypeIndex = typeIndex;
  s.inUse = inUse;
  s.flags = flags;
  return s;
}

SinkCall cacheCall(const char* mac, const char* ip, const char* type) {
  return {mac, ip, "-", type, -1, "-", FromDmsClientCache, denyAnonymous};
}

TEST(DmsCacheReader, ReportsLiveSlotsInSlotOrder) {
  ClientTypeRegistry registry;
  ASSERT_TRUE(registry.append("First", nullptr));
  ASSERT_TRUE(registry.append("Second", nullptr));
  std::vector<unsigned char> segment(dmscache::kSegmentSize, 0xee);  // bytes past the slots
  std::memset(segment.data(), 0, dmscache::kSlotCount * sizeof(DmsCacheSlot));
  auto put = [&](std::size_t index, const DmsCacheSlot& s) {
    std::memcpy(segment.data() + index * sizeof s, &s, sizeof s);
  };
  const std::vector<std::uint8_t> mac = {0x02, 0x1a, 0x2b, 0xc3, 0x4d, 0x05};
  put(0, slot({192, 168, 1, 20}, mac, 0));
  put(1, slot({10, 0, 0, 1}, mac, 1, 0));                                       // free
  put(2, slot({10, 0, 0, 2}, mac, 1, 1, dmscache::kSlotHidden));                // hidden
  put(3, slot({0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, 1, 0x100000000ULL, 0xf7));      // other flag bits
  put(4, slot({255, 255, 255, 255}, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, 2));  // at the end
  put(5, slot({1, 2, 3, 4}, mac, -1));
  put(62, slot({1, 2, 3, 5}, mac, 32767));
  put(63, slot({1, 2, 3, 6}, mac, -32768));

  test::clearReports();
  reportDmsSlots(segment.data(), registry, test::recordReport);
  EXPECT_EQ(test::reports(), (std::vector<SinkCall>{
                                 cacheCall("02:1a:2b:c3:4d:05", "192.168.1.20", "First"),
                                 cacheCall("00:00:00:00:00:00", "0.0.0.0", "Second"),
                                 cacheCall("ff:ff:ff:ff:ff:ff", "255.255.255.255", "-"),
                                 cacheCall("02:1a:2b:c3:4d:05", "1.2.3.4", "-"),
                                 cacheCall("02:1a:2b:c3:4d:05", "1.2.3.5", "-"),
                                 cacheCall("02:1a:2b:c3:4d:05", "1.2.3.6", "-"),
                             }));
}

TEST(DmsCacheReader, AllZeroSegmentReportsNothing) {
  std::vector<unsigned char> segment(dmscache::kSegmentSize, 0);
  test::clearReports();
  reportDmsSlots(segment.data(), clientTypeRegistry(), test::recordReport);
  EXPECT_TRUE(test::reports().empty());
}

}  // namespace
}  // namespace kyto::clientadm
