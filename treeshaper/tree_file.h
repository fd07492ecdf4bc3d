// Browse-tree files: where a file name points and how a tree file is opened.
#pragma once

#include <optional>
#include <string>

#include "common/atomic_file.h"
#include "libxml2_parse.h"

namespace kyto::treeshaper {

// Longest path a tree file name may resolve to; a longer one is refused, never cut.
inline constexpr std::size_t kMaxTreePathLength = 1023;

// A name beginning with "/" is the user's own path and is used unchanged; any other name lives in
// the appliance's tree directory. Nothing when the path would be longer than kMaxTreePathLength.
std::optional<std::string> resolveTreePath(const std::string& fileName);

// Writes one diagnostic line of our own to standard error: standard output carries only the
// listing and the messages that callers read. The line is already safe to print.
void complain(const std::string& line);

// resolveTreePath, complaining "file path is too long" when it refuses the name.
std::optional<std::string> treePathOrComplaint(const std::string& fileName);

// Parses the tree file at path with libxml2's default settings. Only a regular file is read (a
// FIFO or device is never waited for). libxml2 itself prints nothing: each of its warnings, and
// when the file gives no document the one line naming the file and the problem, go to standard
// error, one line each; "pdoc is NULL" then goes to standard output.
xml::XmlDocHandle openTreeFile(const std::string& path);
// The same for the output file found for a write, named in messages by its path.
xml::XmlDocHandle openTreeFile(const WriteTarget& target);

// The root element of a document; prints "proot is NULL" when there is none (or no document).
xmlNode* getTreeRoot(xmlDoc* doc);

// True when the node carries a "NAME" attribute equal to the name, byte for byte.
bool hasSectionName(const xmlNode* node, const std::string& name);

// The first or last child of root whose "NAME" is the name; null when none is.
xmlNode* findFirstSection(const xmlNode* root, const std::string& name);
xmlNode* findLastSection(const xmlNode* root, const std::string& name);

}  // namespace kyto::treeshaper
