#include "config_check.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "checked_file.h"
#include "common/appliance_paths.h"
#include "common/exclusive_lock.h"

namespace kyto::clientadm {

namespace {

// The list is read under its lock, which writers take, and checked after the lock is given up:
// a check of a large list must not hold every writer off while it works.
ConfigDocument readListUnderLock(const kyto::paths::AppliancePaths& paths, CheckReport& report) {
  const ClientListLock lock(paths.clientsLock);
  if (!lock.held())
    report.add(paths.clientsLock, 0,
               std::string("cannot be locked (") + std::strerror(lock.error()) +
                   "): list shows no stored client, add and del fail");
  // Writers replace the list by renaming a complete file over it, so it is read whole even
  // without the lock.
  return readConfigDocument(paths.clientsXml);
}

}  // namespace

int checkConfiguration(std::FILE* out) {
  const kyto::paths::AppliancePaths& paths = kyto::paths::appliancePaths();
  CheckReport catalogueReport;
  const auto catalogueNames = checkClientTypes(paths.clientTypesXml, catalogueReport);
  CheckReport report;
  const ConfigDocument list = readListUnderLock(paths, report);
  checkClientList(paths.clientsXml, list, catalogueNames ? &*catalogueNames : nullptr, report);
  report.print(out);
  catalogueReport.print(out);
  return report.empty() && catalogueReport.empty() ? 0 : 1;
}

}  // namespace kyto::clientadm
