#include <kytoutil/kytoutil.h>

#include <cerrno>
#include <cstring>

#include "cli/client_type_registry.h"
#include "cli/list_refusal.h"
#include "client_record.h"
#include "common/descriptors.h"
#include "stored_clients.h"

namespace kyto::clientadm {

int onStoredClient(void* walk, const unsigned char* mac, const char* ip, const char* /*device*/,
                   int profileId, const char* user, const char* clientType, int deny) noexcept {
  if (walk == nullptr || mac == nullptr) return 1;
  const auto& [context, customTypes] = *static_cast<const StoredClientWalk*>(walk);
  char macText[kMacTextSize];
  formatMacText(mac, macText);
  registerCustomClientType(customTypes, clientType);
  // The store hands profiles 0 to 5 or -1 (none). The stored device text is not listed: only the
  // caches report device names.
  return mergeClient(context, FromUserSettings,
                     {.mac = macText,
                      .ip = ip,
                      .clientType = clientType,
                      .profileId = profileId,
                      .user = user,
                      .deny = deny});
}

SourceReport readStoredClients(const ListContext& context, ClientTypeRegistry& customTypes) {
  StoredClientWalk walk{context, customTypes};
  SourceReport report{.status = Kyto_Util_ReadClientSettings(onStoredClient, &walk)};
  if (report.status == 0) return report;
  const int why = errno;  // set by the store on its failure
  report.warning = missingConfigDirectoryHint();
  // No list yet, or a file that is no list, says nothing, as it always did; a list that could
  // not be read (too many open files, no permission) must not pass for an empty one.
  if (report.warning.empty() && why != 0 && why != ENOENT)
    report.warning = std::string("clientadm: the stored client list could not be read (") +
                     inputProblem(why) + "): no stored client is listed\n";
  return report;
}

}  // namespace kyto::clientadm
