// A ClientSink that records what a source reader reports, for the reader tests.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kyto::clientadm::test {

// One sink call; "-" stands for an absent text.
struct SinkCall {
  std::string mac, ip, deviceName, clientType;
  int profileId;
  std::string user;
  int comeFrom, deny;
  bool operator==(const SinkCall&) const = default;
};
void PrintTo(const SinkCall& call, std::ostream* os);

// The calls recorded since the last clearReports().
std::vector<SinkCall>& reports();
void clearReports();
int recordReport(const char* mac, const char* ip, const char* deviceName, const char* clientType,
                 int profileId, const char* user, int comeFrom, int deny);

}  // namespace kyto::clientadm::test
