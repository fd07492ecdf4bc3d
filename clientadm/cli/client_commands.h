// The commands of clientadm.
#pragma once

#include "command_line.h"
#include "list/list_pipeline.h"

namespace kyto::clientadm {

class ClientTypeRegistry;

// Runs one parsed command and returns the exit status. registry is the one the command line was
// checked against; list appends the stored list's custom types to it.
int runClientCommand(const ParsedCommand& command, const ListSettings& settings,
                     ClientTypeRegistry& registry);

}  // namespace kyto::clientadm
