// The administrator's undo: the history of the client list and the restore of a kept version
// (common/list_history.h keeps them on every change).
#pragma once

#include <cstdio>

#include "cli/command_line.h"

namespace kyto::clientadm {

// Writes the kept versions, newest first, one line "number|time|change|clients" each (the change
// made safe as a listing's text field), or as one JSON array of objects with the keys "number",
// "time", "change" and "clients". Nothing (or "[]") before the first change. 1 with one line on
// standard error when the history can't be read, else 0.
int printHistory(ListingFormat format, std::FILE* out = stdout);

// Makes version number the client list again, under the list's lock, as a change of its own
// ("restore N") that keeps the list it replaces. A version that is not in the history, was not
// kept, can't be read or is no client list: one line on standard error, status 1, nothing
// written.
int restoreVersion(long number);

}  // namespace kyto::clientadm
