// The check of the client type catalogue (clientTypes.xml).
#pragma once

#include <optional>
#include <string>
#include <unordered_set>

#include "checked_file.h"

namespace kyto::clientadm {

// Reports each problem of the catalogue at path, in file order, and returns the short names it
// defines; none when the catalogue can't be used at all (missing, unreadable, not well-formed,
// without UPNP_CLIENTTYPES), which is reported as well.
std::optional<std::unordered_set<std::string>> checkClientTypes(const std::string& path,
                                                                CheckReport& report);

}  // namespace kyto::clientadm
