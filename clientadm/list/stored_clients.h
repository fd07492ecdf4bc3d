// The first source of list: the stored client list, walked through the library.
#pragma once

#include <string>

#include "list_pipeline.h"

namespace kyto::clientadm {

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

// Merges every stored client with comeFrom FromUserSettings and appends the custom client types
// they name to customTypes. The status is the store's result; when it failed for want of the
// configuration directory, the warning is missingConfigDirectoryHint().
SourceReport readStoredClients(const ListContext& context, ClientTypeRegistry& customTypes);

}  // namespace kyto::clientadm
