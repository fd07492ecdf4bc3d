#include "listing_json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  for (int i = 0; i < 3000; ++i)
    records.push_back({std::to_string(i), "", std::string(i % 97, 'd'), "", -1, "", 1, 0});
  std::string expected = "[\n";
  for (const ClientRecord& record : records) expected += clientRecordJson(record) + ",\n";
  expected.replace(expected.size() - 2, 2, "\n]\n");
  ASSERT_GT(expected.size(), 2u * 64 * 1024);
  EXPECT_EQ(jsonListing(records), expected);
}

}  // namespace
}  // namespace kyto::clientadm
