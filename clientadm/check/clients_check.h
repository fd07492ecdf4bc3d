// The check of the client access list (clients.xml).
#pragma once

#include <string>
#include <unordered_set>

#include "checked_file.h"

namespace kyto::clientadm {

// Reports each problem of the list at path, read as document, in file order. A missing list is
// no problem. catalogueNames are the catalogue's short names; without them (the catalogue can't
// be used, which is reported with the catalogue) client type names are not checked.
void checkClientList(const std::string& path, const ConfigDocument& document,
                     const std::unordered_set<std::string>* catalogueNames, CheckReport& report);

}  // namespace kyto::clientadm
