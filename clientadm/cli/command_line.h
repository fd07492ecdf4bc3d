// The command line of clientadm: what it asks for, and the usage text that lists the registered
// client types.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kyto::clientadm {

class ClientTypeRegistry;

enum CommandCode : int {
  CommandAdd = 1,
  CommandDel = 2,
  CommandList = 3,
  CommandGetDuration = 4,
  CommandCheck = 5,
  CommandHistory = 6,
  CommandRestore = 7,
  CommandMatch = 8,
};

// How list writes its records: the '|'-separated lines, or one JSON array for programs.
enum class ListingFormat { Text, Json };

// A device's text for one of its properties, given to match as NAME=VALUE.
struct DeviceProperty {
  int matchType;      // the value of NAME in s_matchTypeName, never MatchNone
  const char* value;  // what follows the first '='
};

// The texts point into the argument vector. For list and history only command and listing are
// filled, for check only command, for getDuration command and filePath, for restore command and
// version, for match command, listing and properties.
struct ParsedCommand {
  CommandCode command = CommandList;
  std::int32_t profileId = -1;                  // -p; -1 when not given
  const char* mac = nullptr;                    // -m
  const char* ip = nullptr;                     // -i
  const char* user = nullptr;                   // -u
  const char* clientType = nullptr;             // -t; none also for "Auto"
  std::int32_t deny = -1;                       // 1 with -d
  const char* filePath = nullptr;               // getDuration's --filePath
  ListingFormat listing = ListingFormat::Text;  // list, history: Json with "--json" after it
  long version = 0;                             // restore: the number of the version
  std::vector<DeviceProperty> properties = {};  // match: one per property, the last word given
};

// Results of parseClientCommand.
enum ParseResult : int {
  ParseAccepted = 0,
  ParseRejected = 1,         // the caller prints the usage
  ParseNoCommandWord = -1,   // the caller prints the usage
  ParseRejectedNoUsage = 2,  // getDuration without --filePath: its message is written, no usage
  ParseBadMatchWord = 3,     // match without a NAME=VALUE word or with another word: its message
                             // is written, the caller prints the usage and exits with 2
};

// Returns a ParseResult. A -t client type must be in registry or custom. Writes the profile,
// client type, MAC address, --filePath and match word errors to errors itself; every other
// rejection is silent. The caller prints the usage for every rejection but ParseRejectedNoUsage.
int parseClientCommand(int argc, char* const* argv, ParsedCommand* parsed,
                       const ClientTypeRegistry& registry, std::FILE* errors = stderr);

// Writes the usage text with the client types of registry; the program name is argv[0] as
// invoked.
void printClientUsage(char* const* argv, const ClientTypeRegistry& registry,
                      std::FILE* out = stdout);

}  // namespace kyto::clientadm
