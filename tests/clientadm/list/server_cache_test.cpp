// Decoding of the media server's client cache slots, on a segment image in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/dms_cache_layout.h"
#include "list/list_pipeline.h"
#include "list/server_cache.h"
#include "list_run.h"

namespace kyto::clientadm {
namespace {

using dmscache::DmsCacheSlot;

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

// Every live slot is merged as a client of the cache, its type named by its index; a second
// slot of a MAC address only refreshes the IP address.
TEST(DmsCacheReader, MergesLiveSlots) {
  test::ListRun run(2);
  ASSERT_TRUE(run.registry.append("First", nullptr));
  ASSERT_TRUE(run.registry.append("Second", nullptr));
  std::vector<unsigned char> segment(dmscache::kSegmentSize, 0xee);  // bytes past the slots
  std::memset(segment.data(), 0, dmscache::kSlotCount * sizeof(DmsCacheSlot));
  auto put = [&](std::size_t index, const DmsCacheSlot& s) {
    std::memcpy(segment.data() + index * sizeof s, &s, sizeof s);
  };
  auto mac = [](std::uint8_t last) { return std::vector<std::uint8_t>{2, 0x1a, 0x2b, 0, 0, last}; };
  put(0, slot({192, 168, 1, 20}, mac(0), 0));
  put(1, slot({10, 0, 0, 1}, mac(1), 1, 0));                                    // free
  put(2, slot({10, 0, 0, 2}, mac(2), 1, 1, dmscache::kSlotHidden));             // hidden
  put(3, slot({10, 0, 0, 3}, {0, 0, 0, 0, 0, 0}, 1, 0x100000000ULL, 0xf7));     // other flag bits
  put(4, slot({255, 255, 255, 255}, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, 2));  // at the end
  put(5, slot({1, 2, 3, 4}, mac(5), -1));
  put(6, slot({1, 2, 3, 6}, mac(0), 1));  // the MAC of slot 0 again
  put(7, slot({0, 0, 0, 0}, mac(0), 1));  // 0.0.0.0 is no address: it replaces none
  put(8, slot({0, 0, 0, 0}, mac(8), 1));  // ... and gives none
  put(62, slot({1, 2, 3, 5}, mac(62), 32767));
  put(63, slot({1, 2, 3, 6}, mac(63), -32768));

  reportDmsSlots(segment.data(), run.context);
  EXPECT_EQ(run.listing(),
            "2|00:00:00:00:00:00|10.0.0.3||Second|-1||1\n"
            "2|02:1a:2b:00:00:00|1.2.3.6||First|-1||1\n"
            "2|02:1a:2b:00:00:05|1.2.3.4|||-1||1\n"
            "2|02:1a:2b:00:00:08|||Second|-1||1\n"
            "2|02:1a:2b:00:00:3e|1.2.3.5|||-1||1\n"
            "2|02:1a:2b:00:00:3f|1.2.3.6|||-1||1\n"
            "2|ff:ff:ff:ff:ff:ff|255.255.255.255|||-1||1\n");
}

TEST(DmsCacheReader, AllZeroSegmentReportsNothing) {
  std::vector<unsigned char> segment(dmscache::kSegmentSize, 0);
  test::ListRun run;
  reportDmsSlots(segment.data(), run.context);
  EXPECT_EQ(run.listing(), "");
}

}  // namespace
}  // namespace kyto::clientadm
