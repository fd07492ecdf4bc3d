#include "list/merged_client_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "cli/client_type_registry.h"
#include "common/safe_text.h"
#include "list/list_pipeline.h"
#include "list/listing_writer.h"
#include "memory_stream.h"

namespace kyto::clientadm {
namespace {

std::string printed(MergedClientList& list) {
  test::MemoryStream out;
  writeTextListing(list.finish(), out.get());
  return out.text();
}

// One report as a source hands it to mergeClient; nullptr stands for an absent text.
struct Report {
  const char* mac;
  const char* ip;
  const char* deviceName;
  const char* clientType;
  int profileId;
  const char* user;
  int comeFrom;
  int deny;
};

int mergeInto(MergedClientList& list, const Report& r, std::int32_t anonymousDeny = 0) {
  const ClientTypeRegistry registry;
  const ListContext context{{anonymousDeny}, registry, list};
  return mergeClient(context, r.comeFrom,
                     {r.mac, r.ip, r.deviceName, r.clientType, r.profileId, r.user, r.deny});
}

std::string mergedText(const std::vector<Report>& reports, std::int32_t anonymousDeny = 0) {
  MergedClientList list;
  for (const auto& r : reports) EXPECT_EQ(mergeInto(list, r, anonymousDeny), 0);
  return printed(list);
}

constexpr char kMacA[] = "02:1a:2b:3c:4d:5e";
constexpr char kMacB[] = "02:1a:2b:3c:4d:5f";
constexpr char kMacC[] = "02:1a:2b:3c:4d:60";

TEST(MergedClientList, ListingExamples) {
  EXPECT_EQ(mergedText({{kMacA, nullptr, nullptr, "CUST0123456789ab", 3, "media", 0, 1},
                        {kMacC, "192.168.1.22", "Living room TV", nullptr, -1, nullptr, 2, 0},
                        {kMacB, "192.168.1.21", nullptr, "StandardDLNA150", -1, nullptr, 1, 0},
                        {kMacA, "192.168.1.20", nullptr, "StandardDLNA150", -1, nullptr, 1, 0}}),
            "1|02:1a:2b:3c:4d:5e|192.168.1.20||CUST0123456789ab|3|media|0\n"
            "0|02:1a:2b:3c:4d:5f|192.168.1.21||StandardDLNA150|-1||1\n"
            "0|02:1a:2b:3c:4d:60|192.168.1.22|Living room TV||-1||2\n");
}

TEST(MergedClientList, EmptyListPrintsNothing) {
  EXPECT_EQ(mergedText({}), "");
}

struct MergeCase {
  const char* name;
  std::vector<Report> reports;
  std::int32_t anonymousDeny;
  const char* listing;
};

void PrintTo(const MergeCase& c, std::ostream* os) {
  *os << c.name;
}

class MergeRules : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeRules, List) {
  const MergeCase& c = GetParam();
  EXPECT_EQ(mergedText(c.reports, c.anonymousDeny), c.listing);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeRules,
    ::testing::Values(
        MergeCase{"StoredKeepsItsFieldsCacheRefreshesIp",
                  {{kMacA, "10.0.0.1", nullptr, "TvA", 2, "anna", 0, 0},
                   {kMacA, "10.0.0.2", nullptr, "Other", -1, "x", 1, 1}},
                  1,
                  "0|02:1a:2b:3c:4d:5e|10.0.0.2||TvA|2|anna|0\n"},
        MergeCase{"CacheRecordRefreshedByAgent",
                  {{kMacB, "10.0.0.5", nullptr, "TvA", -1, nullptr, 1, 0},
                   {kMacB, "10.0.0.6", "Kitchen", nullptr, -1, nullptr, 2, 0}},
                  0,
                  "0|02:1a:2b:3c:4d:5f|10.0.0.6|Kitchen|TvA|-1||1\n"},
        MergeCase{"EmptyOrAbsentValuesDoNotRefresh",
                  {{kMacB, "10.0.0.5", "Den", nullptr, -1, nullptr, 1, 0},
                   {kMacB, "", "", nullptr, -1, nullptr, 2, 0},
                   {kMacB, nullptr, nullptr, nullptr, -1, nullptr, 2, 0}},
                  0,
                  "0|02:1a:2b:3c:4d:5f|10.0.0.5|Den||-1||1\n"},
        MergeCase{"RefreshOnlyIpKeepsDevice",
                  {{kMacB, "10.0.0.5", "Den", nullptr, -1, nullptr, 2, 0},
                   {kMacB, "10.0.0.7", nullptr, nullptr, -1, nullptr, 2, 0}},
                  0,
                  "0|02:1a:2b:3c:4d:5f|10.0.0.7|Den||-1||2\n"},
        MergeCase{"CachesReportAnonymousDenyAndNoUser",
                  {{kMacA, nullptr, nullptr, nullptr, 4, "ghost", 1, 0},
                   {kMacB, nullptr, nullptr, nullptr, -1, "ghost", 2, 1}},
                  2,
                  "2|02:1a:2b:3c:4d:5e||||4||1\n2|02:1a:2b:3c:4d:5f||||-1||2\n"},
        MergeCase{"StoredDenyAndProfileUnchanged",
                  {{kMacA, nullptr, nullptr, nullptr, 9, nullptr, 0, 7}},
                  1,
                  "7|02:1a:2b:3c:4d:5e||||9||0\n"},
        MergeCase{"MacComparedAsText",
                  {{kMacA, "10.0.0.1", nullptr, nullptr, 1, nullptr, 0, 0},
                   {"02:1A:2B:3C:4D:5E", "10.0.0.9", "Tv", nullptr, -1, nullptr, 2, 0}},
                  0,
                  "0|02:1a:2b:3c:4d:5e|10.0.0.1|||1||0\n0|02:1A:2B:3C:4D:5E|10.0.0.9|Tv||-1||2\n"},
        MergeCase{"GroupedBySourceSortedByMacBytes",
                  {{"b", nullptr, nullptr, nullptr, -1, nullptr, 2, 0},
                   {"\xc3\xa9", nullptr, nullptr, nullptr, -1, nullptr, 1, 0},
                   {"B", nullptr, nullptr, nullptr, -1, nullptr, 1, 0},
                   {"a", nullptr, nullptr, nullptr, -1, nullptr, 2, 0},
                   {"ab", nullptr, nullptr, nullptr, -1, nullptr, 0, 0},
                   {"a0", nullptr, nullptr, nullptr, -1, nullptr, 0, 0},
                   {"c", nullptr, nullptr, nullptr, -1, nullptr, -1, 0}},
                  0,
                  "0|c||||-1||-1\n0|a0||||-1||0\n0|ab||||-1||0\n0|B||||-1||1\n"
                  "0|\xc3\xa9||||-1||1\n0|a||||-1||2\n0|b||||-1||2\n"},
        MergeCase{"WithoutMacOnePerSource",
                  {{nullptr, "10.0.0.1", "One", nullptr, -1, nullptr, 2, 0},
                   {nullptr, "10.0.0.2", "Two", nullptr, -1, nullptr, 2, 0},
                   {nullptr, "10.0.0.3", "Three", nullptr, -1, nullptr, 1, 0}},
                  0,
                  "0||10.0.0.3|Three||-1||1\n0||10.0.0.1|One||-1||2\n"},
        // An empty MAC text is looked for like any other and refreshes the first record
        // without MAC address.
        MergeCase{"EmptyMacRefreshesFirstWithout",
                  {{nullptr, "10.0.0.1", nullptr, nullptr, -1, nullptr, 2, 0},
                   {nullptr, "10.0.0.2", nullptr, nullptr, -1, nullptr, 1, 0},
                   {"", "10.0.0.3", "Late", nullptr, -1, nullptr, 2, 0}},
                  0,
                  "0||10.0.0.3|Late||-1||1\n0||10.0.0.1|||-1||2\n"},
        MergeCase{"EmptyMacCreatesWhenNoneListed",
                  {{"", "10.0.0.1", nullptr, nullptr, -1, nullptr, 2, 0},
                   {nullptr, "10.0.0.2", nullptr, nullptr, -1, nullptr, 2, 0}},
                  0,
                  "0||10.0.0.1|||-1||2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The merge rule as it reads, with a linear search and an ordered walk, to check the indexed
// list against on random reports.
class ReferenceList {
 public:
  void merge(const Report& r, std::int32_t anonymousDeny) {
    if (r.mac != nullptr) {
      for (auto& record : records_) {
        if (record.mac != r.mac) continue;
        if (r.ip != nullptr && *r.ip != '\0') record.ip = r.ip;
        if (r.deviceName != nullptr && *r.deviceName != '\0') record.deviceName = r.deviceName;
        return;
      }
    }
    const bool stored = r.comeFrom == 0;
    ClientRecord record{text(r.mac),        text(r.ip),
                        text(r.deviceName), text(r.clientType),
                        r.profileId,        stored ? text(r.user) : "",
                        r.comeFrom,         stored ? r.deny : anonymousDeny};
    auto place = records_.begin();
    while (place != records_.end() &&
           (place->comeFrom < record.comeFrom ||
            (place->comeFrom == record.comeFrom && record.mac.compare(place->mac) > 0)))
      ++place;
    if (place != records_.end() && place->comeFrom == record.comeFrom && place->mac == record.mac)
      return;
    records_.insert(place, record);
  }

  std::string print() const {
    std::string out;
    char line[512];
    for (const auto& r : records_) {
      // Each text as one field, as the listing prints it.
      const std::string mac = listingField(r.mac), ip = listingField(r.ip),
                        name = listingField(r.deviceName), type = listingField(r.clientType),
                        user = listingField(r.user);
      std::snprintf(line, sizeof line, "%d|%s|%s|%s|%s|%d|%s|%d\n", r.deny, mac.c_str(), ip.c_str(),
                    name.c_str(), type.c_str(), r.profileId, user.c_str(), r.comeFrom);
      out += line;
    }
    return out;
  }

 private:
  static std::string_view text(const char* t) { return t != nullptr ? t : ""; }
  std::list<ClientRecord> records_;
};

TEST(MergedClientList, MatchesReferenceOnRandomReports) {
  const std::vector<const char*> macs = {nullptr,
                                         "",
                                         "02:1a:2b:3c:4d:5e",
                                         "02:1A:2B:3C:4D:5E",
                                         "00:00:00:00:00:01",
                                         "ff:ff:ff:ff:ff:ff",
                                         "a",
                                         "\xc3\xa9",
                                         "0"};
  const std::vector<const char*> texts = {nullptr, "", "10.0.0.1", "10.0.0.2", "TV"};
  const std::vector<int> sources = {0, 1, 2, 2, 1, -3, 7};
  std::mt19937 random(20240601);
  auto pick = [&](const auto& pool) { return pool[random() % pool.size()]; };

  for (int round = 0; round < 40; ++round) {
    MergedClientList list;
    ReferenceList reference;
    const auto anonymousDeny = static_cast<std::int32_t>(round % 3);
    for (int i = 0; i < 60; ++i) {
      const Report r{pick(macs),
                     pick(texts),
                     pick(texts),
                     pick(texts),
                     static_cast<int>(random() % 9) - 2,
                     pick(texts),
                     pick(sources),
                     static_cast<int>(random() % 2)};
      ASSERT_EQ(mergeInto(list, r, anonymousDeny), 0);
      reference.merge(r, anonymousDeny);
    }
    ASSERT_EQ(printed(list), reference.print()) << "round " << round;
  }
}

// The list is put in order when it is read. Reading it between reports, and MAC texts that
// agree in their first 8 or 16 bytes, differ only in length, or carry bytes above 0x7f, must give
// the order of the reference all the same.
TEST(MergedClientList, MatchesReferenceWhenReadBetweenReports) {
  const std::vector<const char*> macs = {nullptr,
                                         "",
                                         "02:1a:2b:3c:4d:5e",
                                         "02:1a:2b:3c:4d:5f",
                                         "02:1a:2b:3c:4d:5",
                                         "02:1a:2b:3c:4d:5e:77",
                                         "02:1a:2b",
                                         "02:1a:2",
                                         "02:1a:2b:",
                                         "02:1a:2b:3c:4d:",
                                         "02:1a:2b:3c:4d:\xc3\xa9",
                                         "\xff\xfe",
                                         "\xff",
                                         "\x80",
                                         "\x7f",
                                         "~"};
  const std::vector<const char*> texts = {nullptr, "", "10.0.0.1", "TV"};
  const std::vector<int> sources = {0, 1, 2, -3, INT_MIN, INT_MAX};
  const std::vector<int> numbers = {0, 1, -1, INT_MIN, INT_MAX};
  std::mt19937 random(20240602);
  auto pick = [&](const auto& pool) { return pool[random() % pool.size()]; };

  for (int round = 0; round < 40; ++round) {
    MergedClientList list;
    ReferenceList reference;
    for (int i = 0; i < 40; ++i) {
      const Report r{pick(macs),    pick(texts), pick(texts),   pick(texts),
                     pick(numbers), pick(texts), pick(sources), pick(numbers)};
      const std::int32_t anonymousDeny = pick(numbers);
      ASSERT_EQ(mergeInto(list, r, anonymousDeny), 0);
      reference.merge(r, anonymousDeny);
      if (random() % 4 == 0) {
        ASSERT_EQ(printed(list), reference.print()) << "round " << round << ", report " << i;
      }
    }
    ASSERT_EQ(printed(list), reference.print()) << "round " << round;
  }
}

TEST(MergedClientList, ManyClientsStayOrderedAndUnique) {
  MergedClientList list;
  constexpr int kClients = 40000;
  char mac[18];
  // Reported backwards by the first cache, then every other one again by the agent.
  for (int i = kClients - 1; i >= 0; --i) {
    std::snprintf(mac, sizeof mac, "00:00:00:%02x:%02x:%02x", i >> 16, (i >> 8) & 0xff, i & 0xff);
    ASSERT_EQ(list.merge(FromDmsClientCache, {.mac = mac, .ip = "10.0.0.1"}), 0);
  }
  for (int i = 0; i < kClients; i += 2) {
    std::snprintf(mac, sizeof mac, "00:00:00:%02x:%02x:%02x", i >> 16, (i >> 8) & 0xff, i & 0xff);
    ASSERT_EQ(list.merge(FromDmcSearchCache, {.mac = mac, .ip = "10.0.0.2", .deviceName = "agent"}),
              0);
  }
  int count = 0;
  int refreshed = 0;
  const ClientRecord* previous = nullptr;
  for (const ClientRecord* r = list.finish(); r != nullptr; r = r->next) {
    if (previous != nullptr) {
      ASSERT_LT(previous->mac, r->mac);
    }
    previous = r;
    ++count;
    EXPECT_EQ(r->comeFrom, 1);
    refreshed += r->deviceName == "agent" ? 1 : 0;
  }
  EXPECT_EQ(count, kClients);
  EXPECT_EQ(refreshed, kClients / 2);
}

}  // namespace
}  // namespace kyto::clientadm
