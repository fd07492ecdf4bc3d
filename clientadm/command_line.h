// The command line of clientadm.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kyto::clientadm {

enum CommandCode : int {
  CommandAdd = 1,
  CommandDel = 2,
  CommandList = 3,
  CommandGetDuration = 4,
  CommandCheck = 5,
};

// The texts point into the argument vector. For list, getDuration and check only command is
// filled.
struct ParsedCommand {
  CommandCode command = CommandList;
  std::int32_t profileId = -1;       // -p; -1 when not given
  const char* mac = nullptr;         // -m
  const char* ip = nullptr;          // -i
  const char* user = nullptr;        // -u
  const char* clientType = nullptr;  // -t; none also for "Auto"
  std::int32_t deny = -1;            // 1 with -d
};

// Returns 0 when the command line is accepted, 1 when it is rejected, -1 when there is no command
// word. Writes the profile, client type and MAC address errors to errors itself; every other
// rejection is silent and the caller prints the usage.
int parseClientCommand(int argc, char* const* argv, ParsedCommand* parsed,
                       std::FILE* errors = stderr);

}  // namespace kyto::clientadm
