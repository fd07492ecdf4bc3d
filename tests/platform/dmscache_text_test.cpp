#include "slot_text.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using kyto::dmscache::DmsCacheSlot;
using kyto::dmscache::formatSlot;
using kyto::dmscache::parseSlotLine;
using kyto::dmscache::parseSlotText;
using kyto::dmscache::SlotEntry;

struct GoodLine {
  const char* line;
  const char* formatted;  // the slot as dump prints it
};

TEST(DmsSlotText, ParsesFieldsAndOptions) {
  const std::vector<GoodLine> cases = {
      {"0 192.168.1.10 00:11:22:AA:bb:cc",
       "0 192.168.1.10 00:11:22:aa:bb:cc type=-1 flags=0x00 inuse=1"},
      {" 63\t0.0.0.0  ff:ff:ff:ff:ff:ff type=0 ",
       "63 0.0.0.0 ff:ff:ff:ff:ff:ff type=0 flags=0x00 inuse=1"},
      {"7 10.0.0.1 01:02:03:04:05:06 hidden",
       "7 10.0.0.1 01:02:03:04:05:06 type=-1 flags=0x08 inuse=1"},
      {"7 10.0.0.1 01:02:03:04:05:06 flags=0x81 hidden",
       "7 10.0.0.1 01:02:03:04:05:06 type=-1 flags=0x89 inuse=1"},
      {"7 10.0.0.1 01:02:03:04:05:06 free",
       "7 10.0.0.1 01:02:03:04:05:06 type=-1 flags=0x00 inuse=0"},
      {"0x0a 10.0.0.1 01:02:03:04:05:06 inuse=0xffffffffffffffff type=-32768",
       "10 10.0.0.1 01:02:03:04:05:06 type=-32768 flags=0x00 inuse=18446744073709551615"},
      {"1 1.2.3.4 01:02:03:04:05:06 type=32767 # comment after the fields",
       "1 1.2.3.4 01:02:03:04:05:06 type=32767 flags=0x00 inuse=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<SlotEntry> entries;
    std::string error;
    ASSERT_TRUE(parseSlotLine(c.line, entries, error)) << error;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(formatSlot(entries[0].index, entries[0].slot), c.formatted);
  }
}

TEST(DmsSlotText, StoresBytesInTheDaemonsOrder) {
  std::vector<SlotEntry> entries;
  std::string error;
  ASSERT_TRUE(parseSlotLine("3 192.168.1.10 00:11:22:aa:bb:cc type=-2", entries, error));
  const DmsCacheSlot& slot = entries[0].slot;
  const unsigned char ip[4] = {192, 168, 1, 10};
  const unsigned char mac[6] = {0x00, 0x11, 0x22, 0xaa, 0xbb, 0xcc};
  EXPECT_EQ(std::memcmp(slot.ipAddr, ip, 4), 0);
  EXPECT_EQ(std::memcmp(slot.macAddr, mac, 6), 0);
  EXPECT_EQ(slot.clientTypeIndex, -2);
  EXPECT_EQ(entries[0].index, 3);
}

TEST(DmsSlotText, FormattedSlotReadsBackToTheSameBytes) {
  std::vector<SlotEntry> entries;
  std::string error;
  ASSERT_TRUE(parseSlotLine("12 172.16.254.3 de:ad:be:ef:00:01 type=513 flags=0xf7 inuse=77",
                            entries, error));
  ASSERT_TRUE(parseSlotLine(formatSlot(entries[0].index, entries[0].slot), entries, error))
      << error;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].index, 12);
  EXPECT_EQ(std::memcmp(&entries[0].slot, &entries[1].slot, sizeof(DmsCacheSlot)), 0);
}

struct BadLine {
  const char* line;
  const char* message;
};

TEST(DmsSlotText, RejectsBadLinesWithTheReason) {
  const std::vector<BadLine> cases = {
      {"64 1.2.3.4 00:11:22:33:44:55", "bad slot number \"64\" (0 to 63)"},
      {"-1 1.2.3.4 00:11:22:33:44:55", "bad slot number \"-1\""},
      {"1.5 1.2.3.4 00:11:22:33:44:55", "bad slot number \"1.5\""},
      {"+1 1.2.3.4 00:11:22:33:44:55", "bad slot number \"+1\""},
      {"1 1.2.3 00:11:22:33:44:55", "bad IP address \"1.2.3\""},
      {"1 256.1.1.1 00:11:22:33:44:55", "bad IP address \"256.1.1.1\""},
      {"1 ::1 00:11:22:33:44:55", "bad IP address \"::1\""},
      {"1 1.2.3.4 00:11:22:33:44", "bad MAC address \"00:11:22:33:44\""},
      {"1 1.2.3.4 0:11:22:33:44:55:", "bad MAC address"},
      {"1 1.2.3.4 00-11-22-33-44-55", "bad MAC address"},
      {"1 1.2.3.4 00:11:22:33:44:5g", "bad MAC address"},
      {"1 1.2.3.4 00:11:22:33:44:55:66", "bad MAC address"},
      {"1 1.2.3.4 00:11:22:33:44:55 type=32768", "client type index \"32768\" out of range"},
      {"1 1.2.3.4 00:11:22:33:44:55 type=-32769", "client type index \"-32769\" out of range"},
      {"1 1.2.3.4 00:11:22:33:44:55 type=", "client type index \"\" out of range"},
      {"1 1.2.3.4 00:11:22:33:44:55 type=1x", "client type index \"1x\" out of range"},
      {"1 1.2.3.4 00:11:22:33:44:55 flags=256", "flags \"256\" out of range (0 to 255)"},
      {"1 1.2.3.4 00:11:22:33:44:55 inuse=-1", "bad inuse word \"-1\""},
      {"1 1.2.3.4 00:11:22:33:44:55 hiden", "unknown word \"hiden\""},
      {"1 1.2.3.4 00:11:22:33:44:55 type", "unknown word \"type\""},
      {"1 1.2.3.4", "expected SLOT IP MAC"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<SlotEntry> entries;
    std::string error;
    EXPECT_FALSE(parseSlotLine(c.line, entries, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(entries.empty());
  }
}

TEST(DmsSlotText, TextSkipsBlankAndCommentLinesAndNamesTheBadLine) {
  std::vector<SlotEntry> entries;
  std::string error;
  EXPECT_TRUE(
      parseSlotText("# clients\r\n\n  \t\n1 1.1.1.1 00:00:00:00:00:01\r\n"
                    "2 2.2.2.2 00:00:00:00:00:02 # two\n3 3.3.3.3 00:00:00:00:00:03",
                    entries, error))
      << error;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].index, 3);
  EXPECT_EQ(entries[2].slot.macAddr[5], 3);

  entries.clear();
  EXPECT_FALSE(parseSlotText("1 1.1.1.1 00:00:00:00:00:01\n\n1 1.1.1.1 zz\n", entries, error));
  EXPECT_EQ(error.rfind("line 3: bad MAC address", 0), 0u) << error;
}

TEST(DmsSlotText, ASlotMayBeSetOnlyOnce) {
  std::vector<SlotEntry> entries;
  std::string error;
  EXPECT_FALSE(parseSlotText("5 1.1.1.1 00:00:00:00:00:01\n# again\n5 2.2.2.2 00:00:00:00:00:02\n",
                             entries, error));
  EXPECT_EQ(error, "line 3: slot 5 already set on line 1");
}

}  // namespace
