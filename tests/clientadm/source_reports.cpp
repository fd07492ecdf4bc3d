#include "source_reports.h"

#include <ostream>

namespace kyto::clientadm::test {

namespace {

std::string textOf(const char* text) {
  return text != nullptr ? text : "-";
}

}  // namespace

std::vector<SinkCall>& reports() {
  static std::vector<SinkCall> calls;
  return calls;
}

void clearReports() {
  reports().clear();
}

int recordReport(const char* mac, const char* ip, const char* deviceName, const char* clientType,
                 int profileId, const char* user, int comeFrom, int deny) {
  reports().push_back({textOf(mac), textOf(ip), textOf(deviceName), textOf(clientType), profileId,
                       textOf(user), comeFrom, deny});
  return 0;
}

void PrintTo(const SinkCall& c, std::ostream* os) {
  *os << c.mac << "|" << c.ip << "|" << c.deviceName << "|" << c.clientType << "|" << c.profileId
      << "|" << c.user << "|" << c.comeFrom << "|" << c.deny;
}

}  // namespace kyto::clientadm::test
