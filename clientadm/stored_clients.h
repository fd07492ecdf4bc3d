// The stored client access list as the first source of the list command.
#pragma once

#include "merged_client_list.h"

namespace kyto::clientadm {

// ClientSettingsCallback for Kyto_Util_ReadClientSettings; context points to the ClientSink to
// call. Returns the sink's result, so an allocation failure ends the walk.
int onStoredClient(void* context, const unsigned char* mac, const char* ip, const char* device,
                   int profileId, const char* user, const char* clientType, int deny) noexcept;

// Hands every stored client to the sink with comeFrom FromUserSettings, registering the custom
// client types they name. Returns the store's result.
int readStoredClients(ClientSink sink);

}  // namespace kyto::clientadm
