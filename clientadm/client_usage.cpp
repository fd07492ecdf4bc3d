#include "client_usage.h"

#include "client_type_registry.h"
#include "common/safe_text.h"

namespace kyto::clientadm {

namespace {

void printLine(const char* line, std::FILE* out) {
  std::fputs(line, out);
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
}

}  // namespace kyto::clientadm
