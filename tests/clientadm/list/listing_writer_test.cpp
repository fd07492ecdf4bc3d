#include "list/listing_writer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "memory_stream.h"

namespace kyto::clientadm {
namespace {

std::string printfLines(const std::vector<ClientRecord>& records) {
  test::MemoryStream out;
  for (const ClientRecord& r : records) {
    std::fprintf(out.get(), "%d|%s|%s|%s|%s|%d|%s|%d\n", r.deny, std::string(r.mac).c_str(),
                 std::string(r.ip).c_str(), std::string(r.deviceName).c_str(),
                 std::string(r.clientType).c_str(), r.profileId, std::string(r.user).c_str(),
                 r.comeFrom);
  }
  return out.text();
}

// The texts records point to, kept for the test.
std::string_view kept(std::string text) {
  static std::deque<std::string> texts;
  return texts.emplace_back(std::move(text));
}

std::string writerLines(const std::vector<ClientRecord>& records) {
  test::MemoryStream out;
  {
    ListingWriter writer(out.get());
    for (const ClientRecord& r : records) writer.write(r);
  }
  return out.text();
}

ClientRecord record(std::string mac, std::string deviceName, std::int32_t number) {
  return ClientRecord{kept(std::move(mac)),
                      "192.168.1.20",
                      kept(std::move(deviceName)),
                      "StandardDLNA150",
                      number,
                      "user",
                      number,
                      number};
}

TEST(ListingWriter, WritesWhatPrintfWritesForExtremeNumbers) {
  const std::vector<ClientRecord> records = {record("02:1a:2b:3c:4d:5e", "", 0),
                                             record("", "", -1),
                                             record("a", "TV", INT_MIN),
                                             record("b", "TV", INT_MAX),
                                             record("\xc3\xa9", "Living room TV", 1000),
                                             record("c", "x", -2147483647)};
  EXPECT_EQ(writerLines(records), printfLines(records));
}

// Lines are gathered in a fixed buffer: lines that end exactly at its end, that straddle it and
// that are longer than the whole buffer must all come out whole and in order.
TEST(ListingWriter, WritesWhatPrintfWritesAcrossAndBeyondItsBuffer) {
  std::vector<ClientRecord> records;
  for (int i = 0; i < 3000; ++i) {
    records.push_back(record("00:00:00:00:00:" + std::to_string(i % 100),
                             std::string(static_cast<std::size_t>(i % 97), 'd'), i));
  }
  records.push_back(record("long", std::string(200 * 1024, 'x'), 1));
  records.push_back(record("after", "y", 2));
  records.push_back(record("longer", std::string(64 * 1024, 'z'), 3));
  EXPECT_EQ(writerLines(records), printfLines(records));
}

TEST(ListingWriter, ATextEndsAtItsFirstNulAsWithPrintf) {
  ClientRecord r = record("02:1a:2b:3c:4d:5e", std::string("TV\0hidden", 9), 1);
  EXPECT_EQ(writerLines({r}), printfLines({r}));
}

// A device names itself and a user name is anyone's text: neither may add a field or a line.
TEST(ListingWriter, EachPipeAndControlOfATextFieldIsAQuestionMark) {
  const ClientRecord r{
      "02:00|x", "10.0.0.1\n0", "Caf\xc3\xa9\r\x1b[2J", "T\x7fV\t", 5, "bob\n0|x|y", 2, 1};
  EXPECT_EQ(writerLines({r}), "1|02:00?x|10.0.0.1?0|Caf\xc3\xa9??[2J|T?V?|5|bob?0?x?y|2\n");
}

}  // namespace
}  // namespace kyto::clientadm
