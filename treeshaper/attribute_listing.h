// Listing the id and name of every attribute of one section of a browse-tree file.
#pragma once

#include <string>

namespace kyto::treeshaper {

// Prints "<id> <name>" for each attribute of the first section named `type` in the file.
void showTreeAttributes(const std::string& fileName, const std::string& type);

// showTreeAttributes on the template.
void listTreeAttributes(const std::string& type);

}  // namespace kyto::treeshaper
