// Browse-tree files: where a file name points and how a tree file is opened.
#pragma once

#include <optional>
#include <string>

#include "common/xml_handles.h"

namespace kyto::treeshaper {

// Longest path a tree file name may resolve to; a longer one is refused, never cut.
inline constexpr std::size_t kMaxTreePathLength = 1023;

// A name beginning with "/" is the user's own path and is used unchanged; any other name lives in
// the appliance's tree directory. Nothing when the path would be longer than kMaxTreePathLength.
std::optional<std::string> resolveTreePath(const std::string& fileName);

// resolveTreePath, printing "file path is too long" when it refuses the name.
std::optional<std::string> treePathOrComplaint(const std::string& fileName);

// Parses the tree file at path with libxml2's default settings. Only a regular file is read (a
// FIFO or device is never waited for). When it gives no document, prints one line naming the file
// and the problem, then "pdoc is NULL"; libxml2 itself prints nothing.
XmlDocHandle openTreeFile(const std::string& path);

// The root element of a document; prints "proot is NULL" when there is none (or no document).
xmlNode* getTreeRoot(xmlDoc* doc);

// 0 when something exists at the path, -1 otherwise.
int treeFileExists(const std::string& path);

}  // namespace kyto::treeshaper
