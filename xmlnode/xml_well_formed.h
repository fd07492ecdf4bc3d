// Whether a text is a well-formed XML 1.0 document, in one pass over its bytes.
//
// pugixml, which builds XMLNode's trees, is fast because it is lenient: it takes two attributes
// of one name, invalid UTF-8, control characters, a bare '&', a '<' in an attribute value, text
// or a second element after the root, and more. What XML 1.0 forbids must still count as not
// well-formed (a list that isn't is backed up and replaced), so every text is checked here first,
// in time proportional to its length whatever its shape: many attributes, deep nesting and long
// names cost no more than the bytes they take.
//
// Checked: the characters (UTF-8, and only the characters XML allows, also through character
// references), the XML declaration, comments, processing instructions, CDATA sections, the
// document type declaration (its internal subset is followed as far as quoted literals, comments
// and the names of declared entities), names, start and end tags and their matching, attribute
// syntax and uniqueness, references (to declared entities only, unless the document has an
// external subset or parameter entities), "]]>" in text, and that the document is one root
// element with only comments, processing instructions and white space around it. Not checked:
// the grammar of markup declarations inside the internal subset, and namespaces, which the
// tools' reader ignores as libxml2 without validation did.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kyto::xmlnode {

struct WellFormedness {
  bool wellFormed = true;
  // Where the first problem starts: the byte at fault in text, or the '<' of the markup that
  // holds it, so that everything before it is whole. The text's size when there is none.
  std::size_t offset = 0;
  std::string problem;  // what is wrong, as a phrase; empty when well-formed
  // What the text holds that a tree builder must convert, so that one that holds none can skip
  // the conversion: references, a tab, newline or carriage return inside an attribute value
  // (which become spaces), carriage returns (which end lines).
  bool references = false;
  bool breaksInValues = false;
  bool carriageReturns = false;
};

// What a check can note on its way for a reader that wants only some elements: where each child
// element named child of the first element named parent (document order) starts.
struct ChildElements {
  const char* parent;
  const char* child;
  bool parentFound = false;
  std::vector<std::size_t> starts;  // the offset of each such child's '<', in order
};

// Checks a document held as UTF-8 (the XML declaration's encoding is not looked at: the text is
// already converted). A byte order mark must have been removed. With anyBytes, a byte that is no
// character XML allows (invalid UTF-8, a control character) is taken as it is: the agent's
// output is listed with such names as they came, made safe by the listing's writers.
// With children, the check also notes where those elements start.
WellFormedness checkWellFormed(std::string_view text, bool anyBytes = false,
                               ChildElements* children = nullptr);

// True when text is valid UTF-8 and every character may appear in an XML 1.0 document (tab,
// newline and carriage return are the only control characters allowed): what a document can
// carry as a value and read back unchanged.
bool isXmlText(std::string_view text);

}  // namespace kyto::xmlnode
