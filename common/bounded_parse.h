// Parsing XML with libxml2 within the markup limits (markup_limits.h), for every input of the
// programs: the client list, the client types, the agent's output and the browse trees.
//
// The input reaches libxml2 through the scanner, piece by piece as libxml2 asks for it, and
// stops at the first byte that breaks a limit: libxml2 then sees a cut input. It also stops at
// libxml2's first error (with recovery too), because libxml2 continues after an error where the
// scanner can't follow it; libxml2 has by then read at most one piece (4 KB) more, so a document
// is taken or refused in time proportional to its size, whatever it holds.
#pragma once

#include <libxml/tree.h>

#include <string_view>

#include "common/markup_limits.h"

namespace kyto::xml {

enum class ParseOutcome {
  kParsed,        // a whole document, well-formed (or recovered, with XML_PARSE_RECOVER)
  kUnreadable,    // the file can't be opened or read
  kBeyondLimits,  // cut at a byte that breaks a markup limit; breach tells which
  kMalformed,     // not well-formed, or libxml2 ran out of memory
};

struct ParseResult {
  xmlDocPtr doc = nullptr;  // the caller's to free
  ParseOutcome outcome = ParseOutcome::kMalformed;
  MarkupBreach breach = MarkupBreach::kNone;
};

// Parses the file at path with these libxml2 options; libxml2's messages name it by its path.
// Without XML_PARSE_RECOVER, doc is null unless the outcome is kParsed; with it, doc holds what
// the parser made of the input up to where it stopped, if anything.
ParseResult parseFileWithinLimits(const char* path, int options);

// The same for a text in memory.
ParseResult parseTextWithinLimits(std::string_view text, int options);

}  // namespace kyto::xml
