// The list command's pipeline: its three sources (stored_clients.h, server_cache.h,
// agent_search.h) merge into one list, which one of two writers prints. What the sources work
// with is handed to each of them: the server setting they report with, the client types the
// client cache names by index, and the list they merge into. No source reaches any of them
// through a global.
#pragma once

#include <cstdint>
#include <string>

#include "cli/command_line.h"
#include "merged_client_list.h"

namespace kyto::clientadm {
class ClientTypeRegistry;

// The media server settings that list needs.
struct ListSettings {
  // deny_anonymous: the deny flag of a client that only the caches know.
  std::int32_t denyAnonymous = 0;
};

struct ListContext {
  ListSettings settings;
  const ClientTypeRegistry& registry;
  MergedClientList& list;
};

// What a source tells the list command when it is done. list prints whatever was merged in any
// case; the status is for the tests, the warning for the caller.
struct SourceReport {
  int status = 0;         // 1 when the source could not be read at all
  std::string warning{};  // one line for standard error, or none: what the listing misses
};

// The one entry of every source into the list. Only the stored list knows users and deny flags:
// a client that a cache reports gets no user and the deny_anonymous setting, whatever the report
// holds. 0 when done, 1 when out of memory.
int mergeClient(const ListContext& context, std::int32_t comeFrom, ClientReport client) noexcept;

// The list command: merges the client sources in order and prints the result in the given
// format. registry holds the catalogue's and the default client types; the stored list's custom
// types are appended. Always 0.
int listClients(const ListSettings& settings, ClientTypeRegistry& registry, ListingFormat format);

}  // namespace kyto::clientadm
