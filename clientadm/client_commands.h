// The commands of clientadm.
#pragma once

#include "command_line.h"
#include "list_context.h"

namespace kyto::clientadm {

class ClientTypeRegistry;

// Runs one parsed command and returns the exit status. registry is the one the command line was
// checked against; list appends the stored list's custom types to it.
int runClientCommand(const ParsedCommand& command, const ListSettings& settings,
                     ClientTypeRegistry& registry);

// The list command: merges the client sources in order and prints the result in the given
// format. registry holds the catalogue's and the default client types; the stored list's custom
// types are appended. Always 0.
int listClients(const ListSettings& settings, ClientTypeRegistry& registry, ListingFormat format);

}  // namespace kyto::clientadm
