// Limits on the markup of a tree file, checked by one expat pass over the whole file before
// libxml2 sees any of it.
//
// libxml2 2.9 checks the attributes of one start tag against each other and looks every prefixed
// name up in a list of the namespaces in scope, so its time grows with the square of what one
// element carries (measured with xmllint: one element of 100,000 attributes, 1 MB, takes 18 s;
// 250 levels of 250 namespace declarations over 20,000 prefixed elements, 2 MB, take 12 s).
// Attribute defaults of a document type apply to every element of that name (1,000 defaults over
// 2,000 elements, 23 KB, take 0.8 s), and parameter entities could declare such defaults past a
// look at the document's own declarations. The pass keeps all of that within fixed bounds, so
// that any input is accepted or refused in time proportional to its size: libxml2 is given the
// input only up to the markup that breaks a limit. What libxml2 bounds itself is left to it: its
// depth (256), entity expansion (it refuses an entity reference loop of 100,000 elements at once)
// and the length of the XML declaration (1 MB of it is read in 0.02 s).
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
// Namespace declarations in scope at once, over all open elements: with libxml2's own bound on the
// depth, a prefixed name is looked up in no more than a few hundred steps.
inline constexpr int kMaxNamespacesInScope = 64;
// How far libxml2 may read past a fault that expat found: one of the pieces it reads.
inline constexpr std::size_t kBytesPastAFault = 4096;

enum class MarkupBreach : std::uint8_t {
  kNone,
  kTooManyAttributes,  // more than kMaxAttributesPerElement in one start tag
  kTooManyNamespaces,  // more than kMaxNamespacesInScope declarations in scope
  kDefaultAttribute,   // a document type gives an attribute a default value
  kParameterEntity,    // a document type declares or uses a parameter entity
  kEncoding,           // in an encoding this machine can't convert
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
