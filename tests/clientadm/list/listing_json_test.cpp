#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "list/listing_writer.h"
#include "memory_stream.h"

namespace kyto::clientadm {
namespace {

struct JsonCase {
  const char* name;
  ClientRecord record;
  const char* json;
};

TEST(ClientRecordJson, EachFieldHasItsKeyTypeAndExactText) {
  const JsonCase cases[] = {
      {"stored, everything given, profile 0 is a profile",
       {"02:1a:2b:3c:4d:5e", "10.0.0.1", "TV", "StandardDLNA150", 0, "media", FromUserSettings, 1},
       R"({"deny":true,"mac":"02:1a:2b:3c:4d:5e","ip":"10.0.0.1","deviceName":"TV",)"
       R"("clientType":"StandardDLNA150","user":"media","profileId":0,"comeFrom":0,)"
       R"("source":"userSettings"})"},
      {"client cache, nothing given",
       {"", "", "", "", -1, "", FromDmsClientCache, 0},
       R"({"deny":false,"mac":"","ip":"","deviceName":"","clientType":"","user":"",)"
       R"("profileId":null,"comeFrom":1,"source":"clientCache"})"},
      {"search cache, any deny_anonymous but 0 denies",
       {"m", "", "", "", 5, "", 2, 7},
       R"({"deny":true,"mac":"m","ip":"","deviceName":"","clientType":"","user":"",)"
       R"("profileId":5,"comeFrom":2,"source":"searchCache"})"},
      {"texts escaped, not replaced; bytes that are no UTF-8 as U+FFFD",
       {"a|\"b\\", "\n\t\x01",
        "K\xc3\xbc"
        "che\xff",
        "\x1b[2J", -1, "x\xc3(", 0, 0},
       "{\"deny\":false,\"mac\":\"a|\\\"b\\\\\",\"ip\":\"\\n\\t\\u0001\","
       "\"deviceName\":\"K\xc3\xbc"
       "che\xef\xbf\xbd\",\"clientType\":\"\\u001b[2J\","
       "\"user\":\"x\xef\xbf\xbd(\",\"profileId\":null,\"comeFrom\":0,\"source\":"
       "\"userSettings\"}"},
  };
  for (const JsonCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(clientRecordJson(c.record), c.json);
  }
}

// The strings are those of a common JSON writer, bytes that are no UTF-8 replaced as it
// replaces them, for every kind of byte in every place.
TEST(ClientRecordJson, TextsAreWrittenAsACommonJsonWriterWritesThem) {
  std::mt19937 random(7);
  const char interesting[] =
      "\x00\x1f\x7f\"\\a\x80\xbf\xc0\xc2\xdf\xe0\xa0\xed\x9f\xf0\x90\xf4\x8f\xf5\xff";
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 12, '\0');
    for (char& c : text)
      c = random() % 2 ? interesting[random() % (sizeof interesting - 1)] : char(random());
    ClientRecord record;
    record.deviceName = text;
    const std::string expected =
        nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    ASSERT_EQ(clientRecordJson(record),
              R"({"deny":false,"mac":"","ip":"","deviceName":)" + expected +
                  R"(,"clientType":"","user":"","profileId":null,"comeFrom":0,)"
                  R"("source":"userSettings"})")
        << testing::PrintToString(text);
  }
}

std::string jsonListing(std::vector<ClientRecord>& records) {
  for (std::size_t i = 0; i + 1 < records.size(); ++i) records[i].next = &records[i + 1];
  test::MemoryStream out;
  writeJsonListing(records.empty() ? nullptr : &records.front(), out.get());
  return out.text();
}

// One object per line, whole and in order also where the writer's buffer fills up.
TEST(WriteJsonListing, OneArrayOfOneObjectPerLine) {
  std::vector<ClientRecord> none;
  EXPECT_EQ(jsonListing(none), "[]\n");

  std::vector<ClientRecord> records;
  std::vector<std::string> texts;
  texts.reserve(6000);
  for (int i = 0; i < 3000; ++i) {
    const std::string& mac = texts.emplace_back(std::to_string(i));
    const std::string& name = texts.emplace_back(static_cast<std::size_t>(i % 97), 'd');
    records.push_back({mac, "", name, "", -1, "", 1, 0});
  }
  std::string expected = "[\n";
  for (const ClientRecord& record : records) expected += clientRecordJson(record) + ",\n";
  expected.replace(expected.size() - 2, 2, "\n]\n");
  ASSERT_GT(expected.size(), 2u * 64 * 1024);
  EXPECT_EQ(jsonListing(records), expected);
}

}  // namespace
}  // namespace kyto::clientadm
