// Finding a TYPE section ("Music", "Video", "Photo") among the children of a tree's root.
#pragma once

#include <string>

#include "xml_handles.h"

namespace kyto::treeshaper {

// True when the node carries a "NAME" attribute equal to the name, byte for byte.
bool hasSectionName(const xmlNode* node, const std::string& name);

// The first or last child of root whose "NAME" is the name; null when none is.
xmlNode* findFirstSection(const xmlNode* root, const std::string& name);
xmlNode* findLastSection(const xmlNode* root, const std::string& name);

}  // namespace kyto::treeshaper
