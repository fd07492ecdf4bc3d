// Listing the id and name of every attribute of one section of a browse-tree file.
#pragma once

#include <string>

namespace kyto::treeshaper {

// Prints "<id> <name>" for each attribute of the first section named `type` in the file, control
// characters of the name as '?'. False, after its message, when the file can't be read or lacks
// the section.
bool showTreeAttributes(const std::string& fileName, const std::string& type);

// showTreeAttributes on the template.
bool listTreeAttributes(const std::string& type);

}  // namespace kyto::treeshaper
