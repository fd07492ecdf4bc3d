#include "dmscache_commands.h"

#include <stdio.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

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
