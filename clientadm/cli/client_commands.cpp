#include "client_commands.h"

#include <kytoutil/kytoutil.h>

#include "check/config_check.h"
#include "list/stored_clients.h"
#include "media_duration.h"

namespace kyto::clientadm {

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
