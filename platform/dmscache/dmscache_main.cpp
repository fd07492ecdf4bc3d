// kyto-dmscache: fills the media server's client cache segment for tests and the demo, in the
// daemon's stead.
#include <stdio.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/appliance_paths.h"
#include "dms_segment.h"
#include "slot_text.h"

namespace kyto::dmscache {

namespace {

int fail(const std::string& message) {
  fprintf(stderr, "kyto-dmscache: %s\n", message.c_str());
  return 1;
}

bool readSource(std::string_view source, std::string& text, std::string& error) {
  if (source == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in{std::string(source), std::ios::binary};
  if (!in) {
    error = "cannot read " + std::string(source) + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

// The full-size segment attached for writing.
bool attachFull(AttachedSegment& segment, std::string& error) {
  int id = getFullSegment(error);
  return id >= 0 && segment.attach(id, false, error);
}

DmsCacheSlot* slots(const AttachedSegment& segment) {
  return reinterpret_cast<DmsCacheSlot*>(segment.data());
}

bool allZero(const DmsCacheSlot& slot) {
  static const DmsCacheSlot zero{};
  return std::memcmp(&slot, &zero, sizeof slot) == 0;
}

}  // namespace

int commandSet(std::string_view source) {
  std::string text, error;
  std::vector<SlotEntry> entries;
  // Nothing is written unless the whole text is valid.
  if (!readSource(source, text, error)) return fail(error);
  if (!parseSlotText(text, entries, error)) return fail(std::string(source) + ": " + error);
  AttachedSegment segment;
  if (!attachFull(segment, error)) return fail(error);
  for (const auto& entry : entries) slots(segment)[entry.index] = entry.slot;
  return 0;
}

int commandClear() {
  std::string error;
  AttachedSegment segment;
  if (!attachFull(segment, error)) return fail(error);
  std::memset(segment.data(), 0, kSegmentSize);
  return 0;
}

int commandDump(bool all) {
  std::string error;
  AttachedSegment segment;
  int id = findSegment(error);
  if (id < 0 || !segment.attach(id, true, error)) return fail(error);
  if (segment.size() < kSegmentSize)
    return fail("the segment has " + std::to_string(segment.size()) + " bytes, fewer than " +
                std::to_string(kSegmentSize));
  for (size_t i = 0; i < kSlotCount; ++i) {
    // A copy, so that the fields printed belong to one moment.
    DmsCacheSlot slot = slots(segment)[i];
    if (isLive(slot) || (all && !allZero(slot)))
      printf("%s\n", formatSlot(static_cast<int>(i), slot).c_str());
  }
  return 0;
}

int commandRaw() {
  std::string error;
  AttachedSegment segment;
  int id = findSegment(error);
  if (id < 0 || !segment.attach(id, true, error)) return fail(error);
  if (fwrite(segment.data(), 1, segment.size(), stdout) != segment.size() || fflush(stdout) != 0)
    return fail(std::string("cannot write the segment: ") + std::strerror(errno));
  return 0;
}

int commandRemove() {
  std::string error;
  return removeSegment(error) ? 0 : fail(error);
}

int commandCreateSmall(std::string_view sizeText) {
  size_t size = 0;
  auto [end, ec] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
  if (ec != std::errc() || end != sizeText.data() + sizeText.size() || size == 0 ||
      size >= kSegmentSize)
    return fail("bad size \"" + std::string(sizeText) + "\" (1 to " +
                std::to_string(kSegmentSize - 1) + ")");
  std::string error;
  return createSegment(size, error) ? 0 : fail(error);
}

}  // namespace kyto::dmscache

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
