// The administrator's undo: the history of the client list and the restore of a kept version
// (common/list_history.h keeps them on every change), and what add and del say of the history.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

#include "cli/command_line.h"

namespace kyto::clientadm {

// Writes the kept versions, newest first, one line "number|time|change|clients" each (the change
// made safe as a listing's text field), or as one JSON array of objects with the keys "number",
// "time", "change" and "clients". Nothing (or "[]") before the first change. 1 with one line on
// standard error when the history's directory can't be read, else 0; a file of it that can't be
// read is said on standard error, and the versions it leaves are listed.
int printHistory(ListingFormat format, std::FILE* out = stdout);

// Makes version number the client list again, under the list's lock, as a change of its own
// ("restore N") that keeps the list it replaces. A version that is not in the history, was not
// kept, can't be read or is no client list: one line on standard error, status 1, nothing
// written.
int restoreVersion(long number);

// Runs change, a change of the list that the library makes ("add" or "del" of mac), and returns
// its status. The library says nothing of the history, so what it did is read from the history's
// directory: one line on standard error when the change was made but the list it replaced was
// not kept, or when it was refused because the history has no number left.
int changeWatchingHistory(std::string_view verb, const char* mac,
                          const std::function<int()>& change);

}  // namespace kyto::clientadm
