// clientadm: adds, removes and lists the media server's clients.
#include <cstdio>

#include "cli/client_commands.h"
#include "cli/client_type_registry.h"
#include "cli/command_line.h"
#include "cli/server_settings.h"
#include "common/write_all.h"

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
    return 1;
  } catch (...) {
    return 1;  // only memory exhaustion gets here
  }
}

}  // namespace

int main(int argc, char** argv) {
  return kyto::statusAfterOutput(run(argc, argv), "clientadm");
}
