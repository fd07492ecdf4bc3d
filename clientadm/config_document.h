// A configuration file parsed for the check command: the tree with each element's exact line, or
// why the file can't be used. libxml2 prints nothing while it reads one.
#pragma once

#include <libxml/tree.h>

#include <optional>
#include <string>

#include "common/xml_handles.h"

namespace kyto::clientadm {

struct ConfigDocument {
  enum class Outcome { Parsed, Missing, Unreadable, Malformed };
  Outcome outcome = Outcome::Unreadable;
  int error = 0;        // Missing, Unreadable: the errno value
  long errorLine = 0;   // Malformed: libxml2's line of its first error (0 when it gave none)
  std::string message;  // Malformed: libxml2's text of that error, without the newline
  XmlDocHandle doc;     // Parsed
};

// Reads the file at path as the library's reader does (same parse options, same result for
// well-formedness). A path that is no regular file (a directory, FIFO, device) is Unreadable
// without blocking.
ConfigDocument readConfigDocument(const std::string& path);

// The line on which the element's start tag begins, also beyond libxml2's limit of 65535 lines,
// for elements of a document read by readConfigDocument.
long elementLine(const xmlNode* element);

// The value of the element's attribute as the library's reader sees it (entity references kept as
// written), or none when the element has no attribute of that name.
std::optional<std::string> attributeValue(const xmlNode* element, const char* name);

// An element's name as text.
inline const char* nameOf(const xmlNode* node) {
  return reinterpret_cast<const char*>(node->name);
}

}  // namespace kyto::clientadm
