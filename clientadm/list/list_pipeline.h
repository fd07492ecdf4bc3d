// The list command's pipeline: its three sources merge into one list, which one of two writers
// prints. What the sources work with is handed to each of them: the server setting they report
// with, the client types the client cache names by index, and the list they merge into. No
// source reaches any of them through a global.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// ---- the stored list

class ClientTypeRegistry;

// One walk of the stored list: where its clients go, and the registry that takes the custom
// client types they name.
struct StoredClientWalk {
  const ListContext& context;
  ClientTypeRegistry& customTypes;
};

// ClientSettingsCallback for Kyto_Util_ReadClientSettings; walk points to a StoredClientWalk.
// Returns mergeClient's result, so an allocation failure ends the walk.
int onStoredClient(void* walk, const unsigned char* mac, const char* ip, const char* device,
                   int profileId, const char* user, const char* clientType, int deny) noexcept;

// One line for standard error when the appliance's configuration directory is missing, as on a
// machine that is no appliance: it names the directory and how to point the tools at a staged
// root. Empty when the directory exists.
std::string missingApplianceHint();

// Merges every stored client with comeFrom FromUserSettings and appends the custom client types
// they name to customTypes. The status is the store's result; when it failed for want of the
// configuration directory, the warning is missingApplianceHint().
SourceReport readStoredClients(const ListContext& context, ClientTypeRegistry& customTypes);

// ---- the client cache

// Merges every live slot of the segment with comeFrom FromDmsClientCache, naming client types by
// their position in the context's registry. The segment is only read: never created (a missing
// one holds no clients) and attached read-only. The status is always 0, even when the segment
// can't be reached.
SourceReport readDmsClientCache(const ListContext& context);

// Merges the live slots of a segment image of dmscache::kSegmentSize bytes.
void reportDmsSlots(const unsigned char* segment, const ListContext& context);

// ---- the agent's search cache

// Runs the halyard agent with "-c list" in a process group of its own (agent_process.h), reads
// its XML output (bounded in size and time, see there), ends the whole group, and
// merges each device with comeFrom FromDmcSearchCache. The status is 1 when
// the agent can't be started or its output holds no root element, else 0; the warning says
// when the output was cut at the size cap or the time limit.
SourceReport readDmcSearchCache(const ListContext& context);

// Merges each device element of the agent's XML text, as far as it is well-formed. The status is
// 1 when the text holds no root element; the warning says where a text that is not well-formed
// stopped being read.
SourceReport mergeAgentDevices(std::string_view text, const ListContext& context);

}  // namespace kyto::clientadm
