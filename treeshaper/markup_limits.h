// Limits on the markup of a tree file, checked by one expat pass over the whole file before
// libxml2 sees any of it.
//
// libxml2 checks the attributes of one start tag against each other and looks every prefixed
// name up in a list of the namespaces in scope, so its time grows with the square of what one
// element carries: an element with 100,000 attributes (1 MB) takes it many seconds. Attribute
// defaults of a document type apply to every element of that name, and an entity's value is
// parsed as markup where it is used, so both could carry the same load past a look at the
// document's own start tags. The pass keeps all of that within fixed bounds, so that any input is
// accepted or refused in time proportional to its size: libxml2 is given the input only up to the
// markup that breaks a limit.
//
// Where expat finds the input not well-formed, the pass can't vouch for what follows: libxml2 is
// given a little more, enough to find the fault and say it in its own words, and no more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kyto::xml {

// Attributes (namespace declarations included) in one start tag.
inline constexpr int kMaxAttributesPerElement = 256;
// Elements open at once, the one being started included: as deep as libxml2 itself goes without
// its "huge" option, which refuses a deeper file anyway. libxml2 looks a prefixed name up through
// the ancestors and through the namespaces in scope; the namespaces are kept few (below), so the
// depth costs it no more than this many steps a name.
inline constexpr int kMaxDepth = 256;
// Namespace declarations in scope at once, over all open elements.
inline constexpr int kMaxNamespacesInScope = 64;
// Length of the XML declaration, each run of blanks counted as one.
inline constexpr std::size_t kMaxDeclarationLength = 256;
// How far libxml2 may read past a fault that expat found: one of the pieces it reads.
inline constexpr std::size_t kBytesPastAFault = 4096;

enum class MarkupBreach : std::uint8_t {
  kNone,
  kTooManyAttributes,  // more than kMaxAttributesPerElement in one start tag
  kTooDeep,            // more than kMaxDepth elements open at once
  kTooManyNamespaces,  // more than kMaxNamespacesInScope declarations in scope
  kDefaultAttribute,   // a document type gives an attribute a default value
  kParameterEntity,    // a document type declares or uses a parameter entity
  kMarkupInEntity,     // an entity's value holds markup ("<", or a reference to it)
  kEncoding,           // in an encoding this machine can't convert
  kLongDeclaration,    // an XML declaration longer than kMaxDeclarationLength
  kMalformed,          // not well-formed, where libxml2 read on past the fault
};

// What a breach is, for a message: "more than 256 attributes in one element" and so on.
const char* describeBreach(MarkupBreach breach);

struct MarkupCheck {
  MarkupBreach breach = MarkupBreach::kNone;
  // How many bytes of the input may go to libxml2: all of them, those before the markup that
  // breaks a limit, or those up to a little past a fault.
  std::size_t passable = 0;
  std::string fault;  // kMalformed: "LINE: what expat found"
};

MarkupCheck checkMarkup(std::string_view input);

}  // namespace kyto::xml
