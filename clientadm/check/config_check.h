// The check command: the problems of clients.xml, its history and clientTypes.xml, one line
// each ("PATH:LINE: TEXT"), found in the documents as the library's reader sees them.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

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

class CheckReport {
 public:
  // Adds one problem. The whole line is made safe to print: a control character, from the file or
  // the path, becomes '?'. Line 0 stands for the file as a whole.
  void add(std::string_view path, long line, std::string_view text);

  bool empty() const { return lines_.empty(); }
  const std::vector<std::string>& lines() const { return lines_; }

  // Writes every line, each ended by a newline.
  void print(std::FILE* out) const;

 private:
  std::vector<std::string> lines_;
};

// One element of a checked file, and where its problems go.
struct CheckedElement {
  const std::string& path;
  XMLNode element;
  long line;
  CheckReport& report;
  void problem(std::string_view text) const { report.add(path, line, text); }
};

// Reports each attribute of the element whose name is not among known, which nothing reads,
// with the nearest known name when one is close.
void reportUnknownAttributes(const CheckedElement& entry, std::string_view elementName,
                             const std::vector<std::string_view>& known);

// A file's value as it is quoted in a problem text: between double quotes.
std::string quoted(std::string_view value);

// Checks the catalogue, then the client access list under the list's lock and its history, and
// writes every problem to out as "PATH:LINE: TEXT" (the list's and its history's first). Writes
// nothing to any file. Returns 1 when it wrote a problem, 0 when there was none.
int checkConfiguration(std::FILE* out = stdout);

// The check of the history of the list at listPath: its directory or a file of it that can't
// be read, and a history with no version number left.
void checkHistory(const std::string& listPath, CheckReport& report);

// The check of the client type catalogue (clientTypes.xml).
// Reports each problem of the catalogue at path, in file order, and returns the short names it
// defines; none when the catalogue can't be used at all (missing, unreadable, not well-formed,
// without UPNP_CLIENTTYPES), which is reported as well.
std::optional<std::unordered_set<std::string>> checkClientTypes(const std::string& path,
                                                                CheckReport& report);

// The check of the client access list (clients.xml).
// Reports each problem of the list at path, read as document, in file order. A missing list is
// no problem. catalogueNames are the catalogue's short names; without them (the catalogue can't
// be used, which is reported with the catalogue) client type names are not checked.
void checkClientList(const std::string& path, const ConfigDocument& document,
                     const std::unordered_set<std::string>* catalogueNames, CheckReport& report);

}  // namespace kyto::clientadm
