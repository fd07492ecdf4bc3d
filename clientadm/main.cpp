// clientadm: adds, removes and lists the media server's clients, prints a media file's
// duration, checks the configuration and tells which client types a device matches.
#include <kytoutil/kytoutil.h>

#include <malloc.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "check/config_check.h"
#include "cli/client_type_registry.h"
#include "cli/command_line.h"
#include "cli/list_refusal.h"
#include "cli/media_duration.h"
#include "cli/server_settings.h"
#include "common/descriptors.h"
#include "history/history_command.h"
#include "list/list_pipeline.h"
#include "match/match_command.h"

namespace kyto::clientadm {
namespace {

// A change's status, after the line that says why it was refused, or the hint of a missing
// appliance where the lock could not be taken.
int saidWhyRefused(int status, bool forDelete) {
  if (status == 0) return 0;
  const int why = errno;
  const std::string hint = missingConfigDirectoryHint();
  std::fputs((hint.empty() ? listRefusal(why, forDelete) : hint).c_str(), stderr);
  return status;
}

// The status of a command that reads the configuration, after the hint of a missing appliance
// when it failed for want of it: its own line says what it could not read, the hint what to do.
int saidWhereTheApplianceIs(int status) {
  if (status != 0) std::fputs(missingConfigDirectoryHint().c_str(), stderr);
  return status;
}

// Runs one parsed command and returns the exit status. registry is the one the command line was
// checked against; list appends the stored list's custom types to it.
int runClientCommand(const ParsedCommand& command, const ListSettings& settings,
                     ClientTypeRegistry& registry) {
  switch (command.command) {
    case CommandAdd:
      return saidWhyRefused(changeWatchingHistory("add", command.mac,
                                                  [&] {
                                                    return Kyto_Util_AddClientToXMLFile(
                                                        command.mac, command.ip, command.profileId,
                                                        command.user, command.clientType,
                                                        command.deny);
                                                  }),
                            false);
    case CommandDel:
      return saidWhyRefused(
          changeWatchingHistory("del", command.mac,
                                [&] { return Kyto_Util_DelClientFromXMLFile(command.mac); }),
          true);
    case CommandList:
      return listClients(settings, registry, command.listing);
    case CommandGetDuration:
      return queryMediaDuration(command.filePath);
    case CommandCheck:
      return saidWhereTheApplianceIs(checkConfiguration());
    case CommandHistory:
      return saidWhereTheApplianceIs(printHistory(command.listing));
    case CommandRestore:
      return saidWhereTheApplianceIs(restoreVersion(command.version));
    case CommandMatch:
      return saidWhereTheApplianceIs(printMatchingEntries(command.properties, command.listing));
  }
  return 1;
}

}  // namespace
}  // namespace kyto::clientadm

namespace {

int run(int argc, char** argv) {
  using namespace kyto::clientadm;
  try {
    ListSettings settings;
    readServerSettings(&settings.denyAnonymous);  // a missing file leaves 0, which is no failure
    // One registry for the whole run: the -t check, the usage text and list all see the same
    // types.
    ClientTypeRegistry registry;
    if (loadClientTypeRegistry(registry) != 0) {
      std::fputs("client Type settings file error\n", stderr);
      return 1;
    }
    ParsedCommand command;
    const int parsed = parseClientCommand(argc, argv, &command, registry);
    if (parsed == ParseAccepted) return runClientCommand(command, settings, registry);
    if (parsed != ParseRejectedNoUsage) printClientUsage(argv, registry);
    // match keeps 1 for "nothing matched", so a command line it can't use is told apart.
    return parsed == ParseBadMatchWord ? 2 : 1;
  } catch (...) {
    return 1;  // only memory exhaustion gets here
  }
}

}  // namespace

// A large list is mostly the cost of faulting its memory in: the file's bytes are freed once they
// are parsed and the records take their place. Kept in the heap and never given back, memory is
// faulted in once (at 100,000 clients a sixth faster, 7,600 page faults instead of 12,800, for a
// peak of 32 instead of 26 MiB).
static void keepFreedMemory() {
  constexpr int kLargest = 256 * 1024 * 1024;
  mallopt(M_MMAP_THRESHOLD, kLargest);
  mallopt(M_TRIM_THRESHOLD, kLargest);
}

int main(int argc, char** argv) {
  keepFreedMemory();
  return kyto::statusAfterOutput(run(argc, argv), "clientadm");
}
