// The problems the check command finds, one line each: "PATH:LINE: TEXT".
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "xml_node.h"

namespace kyto::clientadm {

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

}  // namespace kyto::clientadm
