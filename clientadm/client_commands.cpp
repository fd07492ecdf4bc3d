#include "client_commands.h"

#include <kytoutil/kytoutil.h>

#include "config_check.h"
#include "dmc_search_cache.h"
#include "dms_cache.h"
#include "media_duration.h"
#include "merged_client_list.h"
#include "stored_clients.h"

namespace kyto::clientadm {

int listClients() {
  // The sources run in this order, so a record's comeFrom is the first source that reported it.
  // None of their results matters: whatever was merged is listed.
  readStoredClients(mergeClient);
  readDmsClientCache(mergeClient);
  readDmcSearchCache(mergeClient);
  printClientList();
  return 0;
}

int runClientCommand(const ParsedCommand& command, int argc, char** argv) {
  switch (command.command) {
    case CommandAdd:
      return Kyto_Util_AddClientToXMLFile(command.mac, command.ip, command.profileId, command.user,
                                          command.clientType, command.deny);
    case CommandDel:
      return Kyto_Util_DelClientFromXMLFile(command.mac);
    case CommandList:
      return listClients();
    case CommandGetDuration:
      return queryMediaDuration(argc, argv);
    case CommandCheck:
      return checkConfiguration();
  }
  return 1;
}

}  // namespace kyto::clientadm
