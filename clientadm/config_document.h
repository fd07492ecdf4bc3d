// A configuration file read for the check command: its tree with each element's line, or why the
// file can't be used, as the library's reader sees it.
#pragma once

#include <optional>
#include <string>

#include "xml_node.h"

namespace kyto::clientadm {

struct ConfigDocument {
  enum class Outcome { Parsed, Missing, Unreadable, Malformed, BeyondLimits };
  Outcome outcome = Outcome::Unreadable;
  int error = 0;        // Missing, Unreadable: the errno value
  long errorLine = 0;   // Malformed: the line of the first problem (0 when none is known)
  std::string message;  // Malformed, BeyondLimits: what it is
  XMLNode::Bound bound = XMLNode::kNoBound;  // BeyondLimits: which of the reader's bounds
  XMLNode top;  // Parsed: the document, its elements knowing their lines
};

// Reads the file at path as the library's reader does (the same parse, so the same answer to
// whether it is well-formed). A path that is no regular file (a directory, FIFO, device) is
// Unreadable without blocking.
ConfigDocument readConfigDocument(const std::string& path);

// What to do about a file the reader leaves alone for one of its bounds, as a phrase.
const char* adviceFor(XMLNode::Bound bound);

// The value of the element's attribute as the library's reader sees it, or none when the element
// has no attribute of that name.
std::optional<std::string> attributeValue(const XMLNode& element, const char* name);

}  // namespace kyto::clientadm
