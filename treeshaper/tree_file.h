// Browse-tree files: where a file name points and how a tree file is opened.
#pragma once

#include <string>

#include "xml_handles.h"

namespace kyto::treeshaper {

// Longest path a tree file name resolves to; longer paths are cut.
inline constexpr std::size_t kMaxTreePathLength = 1023;

// A name beginning with "/" is the user's own path and is used unchanged; any other name lives in
// the appliance's tree directory.
std::string resolveTreePath(const std::string& fileName);

// Parses a tree file with libxml2's default settings, within the markup limits of
// common/markup_limits.h; prints "pdoc is NULL" when it can't be read, does not parse or breaks
// a limit.
XmlDocHandle openTreeFile(const std::string& fileName);

// The root element of a document; prints "proot is NULL" when there is none (or no document).
xmlNode* getTreeRoot(xmlDoc* doc);

// 0 when something exists at the resolved path, -1 otherwise.
int treeFileExists(const std::string& fileName);

}  // namespace kyto::treeshaper
