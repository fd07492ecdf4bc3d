#include "command_line.h"

#include <kytoutil/kytoutil.h>

#include <charconv>
#include <string_view>
#include <utility>

#include "client_type_registry.h"
#include "common/client_schema.h"
#include "common/safe_text.h"
#include "enumeration_names.h"

namespace kyto::clientadm {

namespace {

bool readCommandWord(std::string_view word, CommandCode* command) {
  constexpr std::pair<std::string_view, CommandCode> kWords[] = {
      {"add", CommandAdd},
      {"del", CommandDel},
      {"list", CommandList},
      {"getDuration", CommandGetDuration},
      // Reads the configuration files and changes nothing.
      {"check", CommandCheck},
      {"history", CommandHistory},
      {"restore", CommandRestore},
      // Reads the catalogue and changes nothing.
      {"match", CommandMatch},
  };
  for (const auto& [text, code] : kWords) {
    if (word != text) continue;
    *command = code;
    return true;
  }
  return false;
}

// A typo such as "2x" or "abc" must not grant a profile: only a whole number is taken.
bool applyProfileId(const char* value, ParsedCommand* parsed, std::FILE* errors) {
  if (value == nullptr) return false;
  if (schema::isDecimalText(value)) {
    parsed->profileId = schema::parseDecimal32(value);
    if (parsed->profileId <= schema::kHighestProfileId) return true;
  }
  std::fputs("Error browsing profile Id\n", errors);
  return false;
}

bool applyClientType(const char* value, ParsedCommand* parsed, const ClientTypeRegistry& registry,
                     std::FILE* errors) {
  if (value == nullptr) return false;
  if (std::string_view(value) == "Auto") {
    parsed->clientType = nullptr;
    return true;
  }
  if (registry.find(value) != nullptr || isCustomClientType(value)) {
    parsed->clientType = value;
    return true;
  }
  std::fputs("Error client type name\n", errors);
  return false;
}

// What the option scan fills and checks against, and where it writes its errors.
struct OptionScan {
  ParsedCommand* parsed;
  const ClientTypeRegistry& registry;
  std::FILE* errors;
};

// One option that takes a value; value is null when the option is the last argument.
bool applyValueOption(char letter, const char* value, const OptionScan& scan) {
  ParsedCommand* parsed = scan.parsed;
  switch (letter) {
    case 'i':
      parsed->ip = value;
      return true;
    case 'm':
      parsed->mac = value;
      return true;
    case 'u':
      parsed->user = value;
      return true;
    case 'p':
      return applyProfileId(value, parsed, scan.errors);
    case 't':
      return applyClientType(value, parsed, scan.registry, scan.errors);
    default:
      return false;
  }
}

bool isValueOption(char letter) {
  return letter == 'i' || letter == 'm' || letter == 'u' || letter == 'p' || letter == 't';
}

// Only the second character of an option word counts: "-mac" acts as "-m".
bool scanOptions(int argc, char* const* argv, const OptionScan& scan) {
  int index = 2;
  while (index < argc) {
    const char* word = argv[index];
    if (word[0] != '-') return false;
    const char letter = word[1];
    if (letter == 'd') {
      scan.parsed->deny = 1;
      index += 1;
      continue;
    }
    if (!isValueOption(letter)) return false;
    const char* value = index + 1 < argc ? argv[index + 1] : nullptr;
    if (!applyValueOption(letter, value, scan)) return false;
    index += 2;
  }
  return true;
}

// The store needs a MAC address, and add must not store one that no reader accepts. del takes any
// text so that an entry stored earlier with a bad MAC address can still be removed.
bool checkMacAddress(const ParsedCommand& parsed, std::FILE* errors) {
  if (parsed.mac == nullptr) return false;
  if (parsed.command != CommandAdd) return true;
  char macBytes[6];
  if (convertMacStrToMacBinStr(parsed.mac, macBytes) == 0) return true;
  std::fputs("Error MAC address\n", errors);
  return false;
}

// getDuration takes exactly "--filePath PATH"; words after the path are ignored.
int parseDurationWords(int argc, char* const* argv, ParsedCommand* parsed, std::FILE* errors) {
  constexpr std::string_view kFilePathOption = "--filePath";
  if (argc < 4 || kFilePathOption != argv[2]) {
    std::fputs("Error, it should have --filePath parameter.\n", errors);
    return ParseRejectedNoUsage;
  }
  parsed->filePath = argv[3];
  return ParseAccepted;
}

// history takes nothing but "--json".
int parseHistoryWords(int argc, char* const* argv, ParsedCommand* parsed) {
  if (argc == 3 && std::string_view(argv[2]) == "--json") {
    parsed->listing = ListingFormat::Json;
    return ParseAccepted;
  }
  return argc == 2 ? ParseAccepted : ParseRejected;
}

// restore takes one version number: digits, nothing else.
int parseRestoreWords(int argc, char* const* argv, ParsedCommand* parsed, std::FILE* errors) {
  const std::string_view word = argc == 3 ? argv[2] : "";
  long number = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
  if (argc != 3 || word.empty() || word.front() == '-' || word.front() == '+' ||
      error != std::errc() || end != word.data() + word.size() || number <= 0) {
    std::fputs("Error version number\n", errors);
    return ParseRejected;
  }
  parsed->version = number;
  return ParseAccepted;
}

// NAME=VALUE, split at the first '=', with NAME a property of s_matchTypeName in any letter case.
// A second word for a property replaces the first, as a repeated option of add does.
bool addDeviceProperty(const char* word, std::vector<DeviceProperty>& properties) {
  const std::string_view text = word;
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return false;
  const int_name_st* name = findEnumerationName(s_matchTypeName, text.substr(0, equals));
  if (name == nullptr || name->value == kMatchNone) return false;
  const DeviceProperty property{name->value, word + equals + 1};
  for (DeviceProperty& given : properties) {
    if (given.matchType != property.matchType) continue;
    given = property;
    return true;
  }
  properties.push_back(property);
  return true;
}

// match takes "--json" right after it, then one or more NAME=VALUE words.
int parseMatchWords(int argc, char* const* argv, ParsedCommand* parsed, std::FILE* errors) {
  int index = 2;
  if (index < argc && std::string_view(argv[index]) == "--json") {
    parsed->listing = ListingFormat::Json;
    ++index;
  }
  if (index >= argc) {
    std::fputs("Error, match should have NAME=VALUE words.\n", errors);
    return ParseBadMatchWord;
  }
  for (; index < argc; ++index) {
    if (addDeviceProperty(argv[index], parsed->properties)) continue;
    std::fprintf(errors, "Error match word \"%s\": it should be NAME=VALUE with a property NAME\n",
                 withoutControls(argv[index]).c_str());
    return ParseBadMatchWord;
  }
  return ParseAccepted;
}

}  // namespace

int parseClientCommand(int argc, char* const* argv, ParsedCommand* parsed,
                       const ClientTypeRegistry& registry, std::FILE* errors) {
  if (argc < 2 || argv == nullptr || argv[1] == nullptr) return ParseNoCommandWord;
  CommandCode command;
  if (!readCommandWord(argv[1], &command)) return ParseRejected;
  parsed->command = command;
  if (command == CommandList) {
    // list has always ignored the words after it, and scripts may pass some: only "--json" right
    // after it changes anything.
    const bool json = argc > 2 && argv[2] != nullptr && std::string_view(argv[2]) == "--json";
    parsed->listing = json ? ListingFormat::Json : ListingFormat::Text;
    return ParseAccepted;
  }
  // check takes no file names: a word after it would look checked while the appliance's files are.
  if (command == CommandCheck) return argc == 2 ? ParseAccepted : ParseRejected;
  *parsed = ParsedCommand{.command = command};
  if (command == CommandGetDuration) return parseDurationWords(argc, argv, parsed, errors);
  if (command == CommandHistory) return parseHistoryWords(argc, argv, parsed);
  if (command == CommandRestore) return parseRestoreWords(argc, argv, parsed, errors);
  if (command == CommandMatch) return parseMatchWords(argc, argv, parsed, errors);
  if (!scanOptions(argc, argv, OptionScan{parsed, registry, errors})) return ParseRejected;
  return checkMacAddress(*parsed, errors) ? ParseAccepted : ParseRejected;
}

// ---- the usage text
namespace {

void printLine(const char* line, std::FILE* out) {
  std::fputs(line, out);
  std::fputc('\n', out);
}

// The property names that match takes, as one line.
void printPropertyNames(std::FILE* out) {
  std::fputs("\tNAME:", out);
  for (const int_name_st* name = s_matchTypeName; name->name != nullptr; ++name)
    if (name->value != kMatchNone) std::fprintf(out, " %s", name->name);
  std::fputc('\n', out);
}

void printClientTypes(const ClientTypeRegistry& registry, std::FILE* out) {
  for (const auto* entry = registry.head(); entry != nullptr; entry = entry->next) {
    // An entry without a full name shows its short name in its place. The names come from the
    // catalogue: a control character in one would start a forged line of the usage text.
    const auto& fullName = entry->fullName ? *entry->fullName : entry->shortName;
    std::fprintf(out, "\t\t%s:%s\n", withoutControls(entry->shortName).c_str(),
                 withoutControls(fullName).c_str());
  }
}

}  // namespace

void printClientUsage(char* const* argv, const ClientTypeRegistry& registry, std::FILE* out) {
  // An empty argument vector is possible through execve; never print a null name.
  const char* program = argv != nullptr && argv[0] != nullptr ? argv[0] : "clientadm";
  std::fprintf(out,
               "%s add <-d> <-m macAddr> <-p profileId> [-i ipStr] [-u user] [-t clientType]\n",
               program);
  printLine("\t-d: deny access", out);
  printLine("\tProfileId(browsing profile):0-5. 0-2:standard profile. 3-5:custom profile", out);
  printLine("\tclient type:", out);
  printLine("\t\tAuto:Auto", out);
  printClientTypes(registry, out);
  printLine("\t\tCUSTxxxxxxxxxxxx:the customize client type, xxxxxxxxxxxx are hex nmber", out);
  std::fprintf(out, "%s del <-m macAddr> \n", program);
  std::fprintf(out, "%s list\n", program);
  printLine("\tdeny|mac|IP|device name|client type|profileId|user|comeFrom", out);
  printLine("\tcomeFrom:0=from user settings. 1=DMS client cache. 2:From DMC search cache", out);
  printLine("\twhile IP, client type and user are not defined, print out empty string", out);
  printLine("\twhile profileId is not defined, print out -1", out);
  std::fprintf(out, "%s getDuration <--filePath fullPath>\n", program);
  std::fprintf(out, "%s check\n", program);
  printLine("\tprints each problem of clients.xml and clientTypes.xml as path:line: text", out);
  std::fprintf(out, "%s list --json\n", program);
  std::fprintf(out, "%s history [--json]\n", program);
  printLine(
      "\tprints the kept versions of the client list, newest first: number|time|change|clients",
      out);
  std::fprintf(out, "%s restore <number>\n", program);
  printLine("\tmakes a kept version the client list again; the restore is a change of its own",
            out);
  std::fprintf(out, "%s match [--json] <NAME=VALUE>...\n", program);
  printLine(
      "\tprints each catalogue entry whose PATTERN is found in the property it names: "
      "SHORT_NAME|FULL_NAME|PATTERN_TYPE|COMPARE_TYPE|PATTERN",
      out);
  printPropertyNames(out);
}

}  // namespace kyto::clientadm
