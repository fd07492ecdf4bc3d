// match: which entries of the client type catalogue a device's properties match, and by what
// pattern, for an administrator whose device gets the wrong client type.
#pragma once

#include <cstdio>
#include <vector>

#include "cli/command_line.h"

namespace kyto::clientadm {

// Reads the catalogue through the library, so its names are converted as at start-up, and
// writes each entry that matches, in catalogue order. An entry matches when it has a PATTERN,
// its PATTERN_TYPE is one of the properties, and the pattern is found in that property's text:
// by a case-sensitive search (StringFind) or as a POSIX extended regular expression
// (RegularExpression). An expression that passes the limits of cli/bounded_regex.h or does not
// compile never matches; one line on standard error says so.
//
// Text: "SHORT_NAME|FULL_NAME|PATTERN_TYPE|COMPARE_TYPE|PATTERN\n" per entry, the types by their
// table names, each text made safe as a listing's field. Json: one array of objects with the
// keys "shortName", "fullName", "patternType", "compareType" and "pattern", the texts exact.
// Returns 0 when an entry matched, 1 when none did (nothing written, or "[]").
int printMatchingEntries(const std::vector<DeviceProperty>& properties, ListingFormat format,
                         std::FILE* out = stdout);

}  // namespace kyto::clientadm
