// The readable text form of client cache slots: what `kyto-dmscache set` reads and `dump`
// prints.
//
//   SLOT IP MAC [type=N] [flags=N] [inuse=N] [hidden] [free]
//
// Blank lines and text from '#' on are ignored. Defaults: type=-1, flags=0, inuse=1.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/dms_cache_layout.h"

namespace kyto::dmscache {

struct SlotEntry {
  int index = 0;
  DmsCacheSlot slot{};
};

// Parses a whole text. On error returns false and a message naming the line.
bool parseSlotText(std::string_view text, std::vector<SlotEntry>& entries, std::string& error);

// Parses one line (without its newline). Returns false with a message on error; a blank or
// comment line gives true and no entry.
bool parseSlotLine(std::string_view line, std::vector<SlotEntry>& entries, std::string& error);

// One slot in the form parseSlotLine reads, without a newline.
std::string formatSlot(int index, const DmsCacheSlot& slot);

}  // namespace kyto::dmscache
