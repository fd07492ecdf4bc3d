// The commands of clientadm.
#pragma once

#include "command_line.h"

namespace kyto::clientadm {

// Runs one parsed command and returns the exit status.
int runClientCommand(const ParsedCommand& command, int argc, char** argv);

// The list command: merges the client sources in order and prints the result. Always 0.
int listClients();

}  // namespace kyto::clientadm
