#include "list_pipeline.h"

#include <cstdio>

#include "agent_search.h"
#include "common/descriptors.h"
#include "listing_writer.h"
#include "server_cache.h"
#include "stored_clients.h"

namespace kyto::clientadm {

int mergeClient(const ListContext& context, std::int32_t comeFrom, ClientReport client) noexcept {
  if (comeFrom != FromUserSettings) {
    client.user = nullptr;
    client.deny = context.settings.denyAnonymous;
  }
  return context.list.merge(comeFrom, client);
}

int listClients(const ListSettings& settings, ClientTypeRegistry& registry, ListingFormat format) {
  // Never freed: the process ends right after the listing, and freeing a large list record by
  // record would only cost time. The static keeps it reachable for leak checkers.
  static MergedClientList* const list = new MergedClientList;
  const ListContext context{settings, registry, *list};
  // The order, which a braced list keeps, is the contract between the sources. A record's comeFrom
  // is the first source that reported its client; and the stored list appends the custom client
  // types its clients name to the registry before the client cache, which names types by their
  // index, is read. No status matters: whatever was merged is listed, and what a source missed is
  // said after it.
  const SourceReport reports[] = {readStoredClients(context, registry), readDmsClientCache(context),
                                  readDmcSearchCache(context)};
  const ClientRecord* first = list->finish();
  if (format == ListingFormat::Json) {
    writeJsonListing(first, stdout);
  } else {
    writeTextListing(first, stdout);
  }
  flushStandardOutput();  // the warnings follow the listing even where both streams are one
  for (const SourceReport& report : reports) std::fputs(report.warning.c_str(), stderr);
  return 0;
}

}  // namespace kyto::clientadm
