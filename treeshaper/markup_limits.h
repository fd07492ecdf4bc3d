// Limits on the markup of every XML input, checked on the raw bytes before libxml2 sees them.
//
// libxml2 checks the attributes of one start tag against each other and looks every prefixed
// name up in a list of the namespaces in scope, so its time grows with the square of what one
// element carries: an element with 100,000 attributes (1 MB) takes it many seconds. Attribute
// defaults of a document type apply to every element of that name, and an entity's value is
// parsed as markup where it is used, so both could carry the same load past a scan of the
// document's own start tags. The scanner keeps all of that within fixed bounds, so that any
// input is accepted or refused in time proportional to its size.
//
// The scanner follows the document's tokens as a well-formed document has them. It need not
// understand a document that is not well-formed: the parse stops reading at libxml2's first
// error (see xml_diagnostics.h), so nothing the scanner might misread is ever parsed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

enum class MarkupBreach : std::uint8_t {
  kNone,
  kTooManyAttributes,  // more than kMaxAttributesPerElement in one start tag
  kTooDeep,            // more than kMaxDepth elements open at once
  kTooManyNamespaces,  // more than kMaxNamespacesInScope declarations in scope
  kDefaultAttribute,   // a document type gives an attribute a default value
  kParameterEntity,    // a document type declares or uses a parameter entity
  kMarkupInEntity,     // an entity's value holds markup ("<", or a reference to it)
  kEncoding,           // in an encoding the scanner doesn't read (see MultiByte)
  kLongDeclaration,    // an XML declaration longer than kMaxDeclarationLength
};

// How the declared encoding writes its characters of two bytes, whose second byte may look like
// ASCII: none (UTF-8, ASCII, ISO-8859-n, Windows-125n, EUC-JP), Shift_JIS (first bytes 0x81 to
// 0x9F and 0xE0 to 0xFC), or first bytes from 0x81 (GBK, GB2312, GB18030, Big5, the Korean code
// pages). Any other declared encoding, and UTF-16, UCS-4 or EBCDIC, breaks kEncoding.
enum class MultiByte : std::uint8_t { kNone, kShiftJis, kLeadFrom0x81 };

// What a breach is, for a message: "more than 256 attributes in one element" and so on.
const char* describeBreach(MarkupBreach breach);

class MarkupScanner {
 public:
  // Scans the next bytes of the input. Returns how many of them may go to the parser: all of
  // them, or those before the first byte that breaks a limit, after which breach() tells which
  // and every later call returns 0.
  std::size_t scan(const char* data, std::size_t size);

  MarkupBreach breach() const { return breach_; }

 private:
  enum class State : std::uint8_t {
    kText,    // character data and the prolog
    kMarkup,  // just after "<"
    kStartTag,
    kEndTag,
    kPiTarget,  // "<?" and the target's name
    kPiBody,
    kBang,  // "<!" and its keyword
    kComment,
    kCData,
    kSkipToClose,   // an unknown "<!...>" in content, up to its ">"
    kDoctype,       // "<!DOCTYPE" up to "[" or ">"
    kSubset,        // the internal subset, between declarations
    kSubsetMarkup,  // "<" in the internal subset
    kDeclaration,   // "<!ELEMENT", "<!ATTLIST", "<!ENTITY" or "<!NOTATION" up to ">"
    kLiteral,       // a quoted literal of a declaration or of the document type
    kDoctypeEnd,    // after the internal subset's "]", up to ">"
  };
  enum class Declaration : std::uint8_t { kOther, kAttlist, kEntity };

  // One step of the state machine; false on a breach, which breach_ then names.
  bool step(unsigned char c);
  bool signatureAllowed(unsigned char c);
  bool markupByte(unsigned char c);
  bool startTagByte(unsigned char c);
  bool piTargetByte(unsigned char c);
  bool piBodyByte(unsigned char c);
  bool bangByte(unsigned char c);
  bool subsetByte(unsigned char c);
  bool declarationByte(unsigned char c);
  bool literalByte(unsigned char c);

  void enterPi();
  void enterBang();
  void enterLiteral(unsigned char quote, State after);
  void takeName(const char* bytes, std::size_t count);
  bool countAttribute();
  void endStartTag(bool empty);
  void endElement();
  bool acceptDeclaredEncoding();
  bool isLeadByte(unsigned char c) const;
  std::size_t fail(MarkupBreach breach, std::size_t i);

  State state_ = State::kText;
  MultiByte multiByte_ = MultiByte::kNone;
  bool trailNext_ = false;        // the next byte is the second of a character
  State context_ = State::kText;  // what markup returns to: content or the internal subset
  MarkupBreach breach_ = MarkupBreach::kNone;
  unsigned char signature_[4] = {};  // the document's first bytes
  std::size_t signatureLength_ = 0;

  // Start tag: attributes so far, namespace declarations among them, the last name's first
  // bytes (and whether blanks ended it), the quote of an open value, and whether the byte before
  // was "/".
  int attributes_ = 0;
  int tagNamespaces_ = 0;
  char name_[6] = {};
  std::size_t nameLength_ = 0;
  bool nameEnded_ = false;
  unsigned char quote_ = 0;
  bool slashBefore_ = false;

  // Namespace declarations in scope: per open element that made some, its depth and count.
  struct ScopeEntry {
    int depth;
    int count;
  };
  std::array<ScopeEntry, kMaxNamespacesInScope> scopes_{};  // each holds one or more
  std::size_t scopeCount_ = 0;
  int depth_ = 0;
  int namespacesInScope_ = 0;

  // Keywords after "<!", processing instruction targets, and the XML declaration's text.
  char keyword_[8] = {};
  std::size_t keywordLength_ = 0;
  bool questionBefore_ = false;  // "?" before, in a processing instruction
  int dashes_ = 0;               // "-" before, in a comment, or "]" in a CDATA section
  bool inDeclaration_ = false;   // the processing instruction is the XML declaration
  char declaration_[kMaxDeclarationLength] = {};
  std::size_t declarationLength_ = 0;

  // Declarations: which one, and a character reference being read in an entity's literal.
  Declaration declarationKind_ = Declaration::kOther;
  State afterLiteral_ = State::kDeclaration;
  int referenceState_ = 0;  // 0 none, 1 "&", 2 "&#", 3 decimal digits, 4 "&#x" and hex digits
  std::uint32_t referenceValue_ = 0;
};

}  // namespace kyto::xml
