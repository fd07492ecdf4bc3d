// The commands of kyto-dmscache. Each prints its own errors and returns the exit status.
#pragma once

#include <string_view>

namespace kyto::dmscache {

int commandSet(std::string_view source);
int commandClear();
int commandDump(bool all);
int commandRaw();
int commandRemove();
int commandCreateSmall(std::string_view sizeText);

}  // namespace kyto::dmscache
