#include "client_commands.h"

#include <kytoutil/kytoutil.h>
#include <malloc.h>

#include "client_type_registry.h"
#include "common/write_all.h"
#include "config_check.h"
#include "dmc_search_cache.h"
#include "dms_cache.h"
#include "listing_json.h"
#include "media_duration.h"
#include "merged_client_list.h"
#include "stored_clients.h"

namespace kyto::clientadm {

int listClients(const ListSettings& settings, ClientTypeRegistry& registry, ListingFormat format) {
  // Never freed: the process ends right after the listing, and freeing a large list record by
  // record would only cost time. The static keeps it reachable for leak checkers.
  static MergedClientList* const list = new MergedClientList;
  // A large stored list is parsed into some million small nodes and freed before the caches are
  // read. Kept in glibc's fast bins, those chunks would all be walked again, through memory long
  // out of the cache, by the consolidation that the next larger allocation sets off (a quarter of
  // the list's time at 100,000 clients); freed without fast bins, each merges with its
  // neighbours while they are still at hand.
  mallopt(M_MXFAST, 0);
  const ListContext context{settings, registry, *list};
  // The order, which a braced list keeps, is the contract between the sources. A record's comeFrom
  // is the first source that reported its client; and the stored list appends the custom client
  // types its clients name to the registry before the client cache, which names types by their
  // index, is read. No status matters: whatever was merged is listed, and what a source missed is
  // said after it.
  const SourceReport reports[] = {readStoredClients(context, registry), readDmsClientCache(context),
                                  readDmcSearchCache(context)};
  if (format == ListingFormat::Json) {
    writeJsonListing(list->head(), stdout);
  } else {
    list->print(stdout);
  }
  flushStandardOutput();  // the warnings follow the listing even where both streams are one
  for (const SourceReport& report : reports) std::fputs(report.warning.c_str(), stderr);
  return 0;
}

namespace {

// A store operation's status, after the hint of a missing appliance where it failed.
int withApplianceHint(int status) {
  if (status != 0) std::fputs(missingApplianceHint().c_str(), stderr);
  return status;
}

}  // namespace

int runClientCommand(const ParsedCommand& command, const ListSettings& settings,
                     ClientTypeRegistry& registry) {
  switch (command.command) {
    case CommandAdd:
      return withApplianceHint(Kyto_Util_AddClientToXMLFile(command.mac, command.ip,
                                                            command.profileId, command.user,
                                                            command.clientType, command.deny));
    case CommandDel:
      return withApplianceHint(Kyto_Util_DelClientFromXMLFile(command.mac));
    case CommandList:
      return listClients(settings, registry, command.listing);
    case CommandGetDuration:
      return queryMediaDuration(command.filePath);
    case CommandCheck:
      return checkConfiguration();
  }
  return 1;
}

}  // namespace kyto::clientadm
