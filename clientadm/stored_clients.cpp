#include "stored_clients.h"

#include <kytoutil/kytoutil.h>

#include "client_type_registry.h"
#include "mac_text.h"

namespace kyto::clientadm {

namespace {

constexpr int kProfileLimit = 7;  // profiles 0 to 6 pass; anything else is none

int storedProfile(int profileId) {
  return static_cast<unsigned int>(profileId) < static_cast<unsigned int>(kProfileLimit) ? profileId
                                                                                         : -1;
}

}  // namespace

int onStoredClient(void* context, const unsigned char* mac, const char* ip, const char* /*device*/,
                   int profileId, const char* user, const char* clientType, int deny) noexcept {
  if (context == nullptr || mac == nullptr) return 1;
  const ClientSink sink = *static_cast<const ClientSink*>(context);
  char macText[kMacTextSize];
  formatMacText(mac, macText);
  // Registered before the merge so that the client cache can name the type by its index.
  registerCustomClientType(clientType);
  // The stored device text is not listed: only the caches report device names.
  return sink(macText, ip, nullptr, clientType, storedProfile(profileId), user, FromUserSettings,
              deny);
}

int readStoredClients(ClientSink sink) {
  return Kyto_Util_ReadClientSettings(onStoredClient, &sink);
}

}  // namespace kyto::clientadm
