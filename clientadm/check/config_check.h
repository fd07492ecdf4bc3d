// The check command: the problems of clients.xml and clientTypes.xml, one line each, and the
// checks of the two files it runs.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <unordered_set>

#include "checked_file.h"

namespace kyto::clientadm {

// Checks the catalogue, then the client access list under the list's lock, and writes every
// problem to out as "PATH:LINE: TEXT" (the list's first). Writes nothing to either file. Returns 1
// when it wrote a problem, 0 when there was none.
int checkConfiguration(std::FILE* out = stdout);

// The check of the client type catalogue (clientTypes.xml).
// Reports each problem of the catalogue at path, in file order, and returns the short names it
// defines; none when the catalogue can't be used at all (missing, unreadable, not well-formed,
// without UPNP_CLIENTTYPES), which is reported as well.
std::optional<std::unordered_set<std::string>> checkClientTypes(const std::string& path,
                                                                CheckReport& report);

// The check of the client access list (clients.xml).
// Reports each problem of the list at path, read as document, in file order. A missing list is
// no problem. catalogueNames are the catalogue's short names; without them (the catalogue can't
// be used, which is reported with the catalogue) client type names are not checked.
void checkClientList(const std::string& path, const ConfigDocument& document,
                     const std::unordered_set<std::string>* catalogueNames, CheckReport& report);

}  // namespace kyto::clientadm
