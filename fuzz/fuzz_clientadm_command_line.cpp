// clientadm's command line parser on argument vectors cut from the input: never reads past the
// vector, an accepted add or del always carries a MAC text, an accepted getDuration a path and an
// accepted match a property.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli/client_type_registry.h"
#include "cli/command_line.h"
#include "common/appliance_paths.h"
#include "fuzz_support.h"

namespace {
kyto::clientadm::ClientTypeRegistry& registry() {
  static kyto::clientadm::ClientTypeRegistry types;
  return types;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char catalogue[] =
      "<UPNP_CLIENTTYPES><CLIENTTYPE SHORT_NAME=\"AuroraTV\" FULL_NAME=\"Aurora TV\"/>"
      "</UPNP_CLIENTTYPES>";
  kyto::fuzz::writeRootFile(kyto::paths::kClientTypesXml,
                            reinterpret_cast<const std::uint8_t*>(catalogue), sizeof catalogue - 1);
  kyto::clientadm::loadClientTypeRegistry(registry());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  kyto::fuzz::ArgumentVector args("clientadm", data, size);
  kyto::clientadm::ParsedCommand parsed;
  int result =
      kyto::clientadm::parseClientCommand(args.argc(), args.argv(), &parsed, registry(), sink);
  bool changesList = parsed.command == kyto::clientadm::CommandAdd ||
                     parsed.command == kyto::clientadm::CommandDel;
  if (result == 0 && changesList && parsed.mac == nullptr) abort();
  if (result == 0 && parsed.profileId > 5) abort();
  bool isDuration = parsed.command == kyto::clientadm::CommandGetDuration;
  if (result == 0 && isDuration && parsed.filePath == nullptr) abort();
  bool isMatch = parsed.command == kyto::clientadm::CommandMatch;
  if (result == 0 && isMatch && parsed.properties.empty()) abort();
  return 0;
}
