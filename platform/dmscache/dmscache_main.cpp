// kyto-dmscache: fills the media server's client cache segment for tests and the demo, in the
// daemon's stead.
#include <stdio.h>

#include <exception>
#include <string_view>

#include "common/appliance_paths.h"
#include "dmscache_commands.h"

namespace {

void usage(FILE* out) {
  fprintf(out,
          "usage: kyto-dmscache COMMAND\n"
          "Writes the media server's client cache (System V shared memory, key %d) in the\n"
          "daemon's stead.\n"
          "Commands:\n"
          "  set FILE           fill the slots listed in FILE (\"-\": standard input); the other\n"
          "                     slots keep their content; nothing is written on a bad line\n"
          "  clear              zero every slot\n"
          "  dump [--all]       print the live slots (--all: every slot not all zero) as set\n"
          "                     reads them\n"
          "  raw                write the segment's bytes to standard output\n"
          "  remove             remove the segment\n"
          "  create-small SIZE  create the segment with SIZE bytes, fewer than the reader needs\n"
          "  help, --help       print this text\n"
          "set and clear create the full-size segment with mode 0666 when it is missing.\n"
          "Slot lines: SLOT IP MAC [type=N] [flags=N] [inuse=N] [hidden] [free]\n"
          "  SLOT     0 to 63\n"
          "  IP       dotted IPv4 address\n"
          "  MAC      six two-digit hexadecimal fields joined by ':'\n"
          "  type=N   client type index, -32768 to 32767 (default -1)\n"
          "  flags=N  flag byte, 0 to 255 (default 0); hidden sets 0x08\n"
          "  inuse=N  64-bit live word (default 1); free sets 0\n"
          "  Numbers may be given in hexadecimal with 0x. Blank lines and text from '#' on are\n"
          "  ignored. A slot may be set only once per text.\n",
          kyto::paths::kDmsClientCacheKey);
}

int dispatch(int argc, char** argv) {
  std::string_view command = argc > 1 ? argv[1] : "";
  if ((command == "help" || command == "--help" || command == "-h") && argc == 2) {
    usage(stdout);
    return 0;
  }
  if (command == "set" && argc == 3) return kyto::dmscache::commandSet(argv[2]);
  if (command == "clear" && argc == 2) return kyto::dmscache::commandClear();
  if (command == "dump" && argc == 2) return kyto::dmscache::commandDump(false);
  if (command == "dump" && argc == 3 && std::string_view(argv[2]) == "--all")
    return kyto::dmscache::commandDump(true);
  if (command == "raw" && argc == 2) return kyto::dmscache::commandRaw();
  if (command == "remove" && argc == 2) return kyto::dmscache::commandRemove();
  if (command == "create-small" && argc == 3) return kyto::dmscache::commandCreateSmall(argv[2]);
  usage(stderr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return dispatch(argc, argv);
  } catch (const std::exception& e) {
    fprintf(stderr, "kyto-dmscache: %s\n", e.what());
    return 1;
  }
}
