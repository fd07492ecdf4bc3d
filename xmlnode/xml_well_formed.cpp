#include "xml_well_formed.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <string>
#include <unordered_set>
#include <vector>

namespace kyto::xmlnode {

namespace {

// Attributes of one start tag compared pairwise up to this many, through a hash set beyond: a
// start tag of many attributes costs no more than their bytes.
constexpr std::size_t kPairwiseAttributes = 16;

constexpr bool isSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr bool isNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

constexpr bool isNameByte(unsigned char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Tables of the ASCII bytes that the common loops step over without a second look: name bytes,
// and what may stand in an attribute value or in text as it is.
struct ByteTable {
  bool plain[256] = {};
};

constexpr ByteTable nameTable() {
  ByteTable table;
  for (int c = 0; c < 0x80; ++c) table.plain[c] = isNameByte(static_cast<unsigned char>(c));
  return table;
}

constexpr ByteTable valueTable(bool text) {
  ByteTable table;
  for (int c = 0x20; c < 0x80; ++c)
    table.plain[c] = c != '<' && c != '&' && (text ? c != ']' : c != '"' && c != '\'');
  return table;
}

constexpr ByteTable kNameBytes = nameTable();
constexpr ByteTable kValueBytes = valueTable(false);
constexpr ByteTable kTextBytes = valueTable(true);

bool isXmlChar(std::uint32_t c) {
  if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
  if (c <= 0xD7FF) return true;
  if (c < 0xE000) return false;  // UTF-16 surrogates
  if (c <= 0xFFFD) return true;
  return c >= 0x10000 && c <= 0x10FFFF;
}

// The length of the character at text[at] when it is valid UTF-8 and allowed in XML, else 0.
std::size_t xmlCharLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char first = byte(0);
  if (first < 0x80) return first >= 0x20 || first == 0x9 || first == 0xA || first == 0xD ? 1 : 0;
  std::size_t length;
  std::uint32_t c;
  if ((first & 0xE0) == 0xC0) {
    length = 2, c = first & 0x1F;
  } else if ((first & 0xF0) == 0xE0) {
    length = 3, c = first & 0x0F;
  } else if ((first & 0xF8) == 0xF0) {
    length = 4, c = first & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    c = c << 6 | (byte(k) & 0x3F);
  }
  static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  return c >= kSmallest[length] && isXmlChar(c) ? length : 0;
}

// The offset of the first block of sixteen bytes from at that holds a byte to look at, or of
// the last bytes before end that make no whole block: those are left to a byte-wise look.
std::size_t plainRunEnd(const char* data, std::size_t at, std::size_t end, unsigned char stop1,
                        unsigned char stop2) {
#if defined(__SSE2__)
  const __m128i quote1 = _mm_set1_epi8(static_cast<char>(stop1));
  const __m128i quote2 = _mm_set1_epi8(static_cast<char>(stop2));
  const __m128i less = _mm_set1_epi8('<');
  const __m128i amp = _mm_set1_epi8('&');
  const __m128i space = _mm_set1_epi8(0x20);
  for (; at + 16 <= end; at += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    // Bytes from 0x80 read as negative: below 0x20 covers them and the control characters.
    const __m128i look = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(block, quote1), _mm_cmpeq_epi8(block, quote2)),
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, less), _mm_cmpeq_epi8(block, amp)),
                     _mm_cmplt_epi8(block, space)));
    const int mask = _mm_movemask_epi8(look);
    if (mask != 0) return at + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#else
  (void)data, (void)end, (void)stop1, (void)stop2;
#endif
  return at;
}

class Checker {
 public:
  Checker(std::string_view text, bool anyBytes, ChildElements* children)
      : text_(text),
        anyBytes_(anyBytes),
        children_(children),
        parent_(children != nullptr ? children->parent : ""),
        child_(children != nullptr ? children->child : "") {}

  WellFormedness run() {
    WellFormedness result;
    result.wellFormed = document();
    result.offset = result.wellFormed ? text_.size() : failedAt_;
    result.problem = std::move(problem_);
    result.references = references_;
    result.breaksInValues = breaksInValues_;
    result.carriageReturns = carriageReturns_;
    return result;
  }

 private:
  // ---- positions and characters

  bool atEnd() const { return at_ >= text_.size(); }
  unsigned char peek(std::size_t ahead = 0) const {
    return at_ + ahead < text_.size() ? static_cast<unsigned char>(text_[at_ + ahead]) : 0;
  }
  bool startsWith(std::string_view prefix) const {
    return text_.compare(at_, prefix.size(), prefix) == 0;
  }

  bool fail(std::size_t at, std::string problem) {
    failedAt_ = at;
    problem_ = std::move(problem);
    return false;
  }

  std::size_t charLength() const { return xmlCharLength(text_, at_); }

  // Steps over one character; false (with the problem) when it is none XML allows.
  bool character(std::size_t markupStart) {
    if (peek() == '\r') carriageReturns_ = true;
    std::size_t length = charLength();
    if (length == 0 && anyBytes_ && !atEnd()) length = 1;
    if (length == 0) return fail(markupStart, problemOfByte());
    at_ += length;
    return true;
  }

  const char* problemOfByte() const {
    return peek() < 0x80 ? "a control character that XML does not allow"
                         : "bytes that are not UTF-8, or a character that XML does not allow";
  }

  // Steps over characters up to the terminator, which stays; false at the end of the text.
  bool charactersUntil(std::string_view terminator, std::size_t markupStart,
                       const char* unterminated) {
    while (!atEnd()) {
      if (startsWith(terminator)) return true;
      if (!character(markupStart)) return false;
    }
    return fail(markupStart, unterminated);
  }

  void skipSpace() {
    while (!atEnd() && isSpace(peek())) ++at_;
  }

  // Steps over the ASCII bytes the table passes.
  void skipPlain(const ByteTable& table) {
    const char* const data = text_.data();
    std::size_t at = at_;
    const std::size_t end = text_.size();
    while (at < end && table.plain[static_cast<unsigned char>(data[at])]) ++at;
    at_ = at;
  }

  // The same for a value or text: sixteen bytes at a time while none of them is one to look at
  // (a control character, a byte of a multi-byte character, '<', '&', or either stop byte).
  void skipPlainRun(const ByteTable& table, unsigned char stop1, unsigned char stop2) {
    at_ = plainRunEnd(text_.data(), at_, text_.size(), stop1, stop2);
    skipPlain(table);
  }

  bool name(std::size_t markupStart, std::string_view* taken = nullptr) {
    const std::size_t start = at_;
    if (atEnd() || !isNameStart(peek())) return fail(markupStart, "a name expected");
    for (;;) {
      skipPlain(kNameBytes);
      if (atEnd() || peek() < 0x80) break;
      if (!character(markupStart)) return false;
    }
    if (taken != nullptr) *taken = text_.substr(start, at_ - start);
    return true;
  }

  // ---- references

  bool characterReference(std::size_t problemAt) {
    at_ += 2;  // "&#"
    const bool hex = peek() == 'x';
    if (hex) ++at_;
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; !atEnd() && peek() != ';'; ++at_, ++digits) {
      const unsigned char c = peek();
      std::uint32_t digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (hex && ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')) {
        digit = (c | 0x20) - 'a' + 10;
      } else {
        return fail(problemAt, "a malformed character reference");
      }
      value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + digit;
    }
    if (atEnd() || digits == 0) return fail(problemAt, "a malformed character reference");
    ++at_;  // ';'
    return isXmlChar(value) ? true
                            : fail(problemAt, "a reference to a character XML does not allow");
  }

  bool reference(std::size_t problemAt) {
    references_ = true;
    if (peek(1) == '#') return characterReference(problemAt);
    ++at_;  // '&'
    std::string_view entity;
    if (!name(problemAt, &entity) || peek() != ';')
      return fail(problemAt, "an '&' that starts no reference");
    ++at_;
    static const std::string_view kPredefined[] = {"lt", "gt", "amp", "apos", "quot"};
    for (const std::string_view predefined : kPredefined)
      if (entity == predefined) return true;
    if (anyEntityMayBeDeclared_ || declaredEntities_.count(entity) != 0) return true;
    return fail(problemAt, "the entity " + std::string(entity) + " is not declared");
  }

  // ---- markup

  bool comment() {
    const std::size_t start = at_;
    at_ += 4;  // "<!--"
    if (!charactersUntil("--", start, "a comment that does not end")) return false;
    at_ += 2;
    if (peek() != '>') return fail(start, "\"--\" inside a comment");
    ++at_;
    return true;
  }

  bool processingInstruction() {
    const std::size_t start = at_;
    at_ += 2;  // "<?"
    std::string_view target;
    if (!name(start, &target)) return false;
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l')
      return fail(start, "an XML declaration that is not at the start of the document");
    if (!startsWith("?>") && (atEnd() || !isSpace(peek())))
      return fail(start, "a malformed processing instruction");
    if (!charactersUntil("?>", start, "a processing instruction that does not end")) return false;
    at_ += 2;
    return true;
  }

  bool cdata() {
    const std::size_t start = at_;
    at_ += 9;  // "<![CDATA["
    if (!charactersUntil("]]>", start, "a CDATA section that does not end")) return false;
    at_ += 3;
    return true;
  }

  // A quoted literal: an attribute value (references followed, no '<'), or a literal of the
  // document type (characters only).
  bool quoted(std::size_t markupStart, bool attributeValue) {
    const unsigned char quote = peek();
    if (quote != '"' && quote != '\'') return fail(markupStart, "a quoted value expected");
    ++at_;
    for (;;) {
      skipPlainRun(kValueBytes, '"', '\'');
      if (atEnd() || peek() == quote) break;
      if (attributeValue && peek() == '<') return fail(markupStart, "a '<' in an attribute value");
      if (attributeValue && peek() == '&') {
        if (!reference(markupStart)) return false;
        continue;
      }
      if (attributeValue && (peek() == '\t' || peek() == '\n' || peek() == '\r'))
        breaksInValues_ = true;
      if (!character(markupStart)) return false;
    }
    if (atEnd()) return fail(markupStart, "a quoted value that does not end");
    ++at_;
    return true;
  }

  bool twice(std::string_view attribute, std::size_t markupStart) {
    return fail(markupStart, "the attribute " + std::string(attribute) + " twice in one element");
  }

  bool uniqueAttribute(std::string_view attribute, std::size_t markupStart) {
    if (attributes_.size() < kPairwiseAttributes) {
      // Names of one length and first byte are rare among an element's attributes: only those
      // are compared whole.
      for (const std::string_view seen : attributes_)
        if (seen.size() == attribute.size() && seen[0] == attribute[0] && seen == attribute)
          return twice(attribute, markupStart);
      attributes_.push_back(attribute);
      if (attributes_.size() == kPairwiseAttributes)
        manyAttributes_.insert(attributes_.begin(), attributes_.end());
      return true;
    }
    if (!manyAttributes_.insert(attribute).second) return twice(attribute, markupStart);
    return true;
  }

  // The start tag at at_ when it is of the plain kind nearly every tag of a list is: ASCII names,
  // values of plain ASCII (no reference, no control character), a few attributes. Then at_ moves
  // past it and true comes back; for any other tag, at_ stays and the full reading takes over.
  // Both read such a tag alike; this one only keeps its work in registers.
  bool plainStartTag(bool* empty) {
    const char* const data = text_.data();
    const char* const end = data + text_.size();
    const char* p = data + at_ + 1;
    const auto nameEnd = [end](const char* q) {
      if (q == end || !isNameStart(static_cast<unsigned char>(*q)) || *q < 0) return q;
      while (q != end && kNameBytes.plain[static_cast<unsigned char>(*q)]) ++q;
      return q;
    };
    const char* element = p;
    p = nameEnd(p);
    if (p == element || (p != end && *p < 0)) return false;
    const std::string_view elementName(element, static_cast<std::size_t>(p - element));
    std::string_view names[kPairwiseAttributes];
    std::size_t count = 0;
    for (;;) {
      const char* before = p;
      while (p != end && isSpace(static_cast<unsigned char>(*p))) ++p;
      if (p == end) return false;
      if (*p == '>' || (*p == '/' && p + 1 != end && p[1] == '>')) break;
      if (p == before || count == kPairwiseAttributes) return false;
      const char* attribute = p;
      p = nameEnd(p);
      if (p == attribute || p == end || *p != '=') return false;  // spaces around '=': the full way
      const std::string_view attributeName(attribute, static_cast<std::size_t>(p - attribute));
      for (std::size_t k = 0; k < count; ++k)
        if (names[k].size() == attributeName.size() && names[k][0] == attributeName[0] &&
            names[k] == attributeName)
          return false;
      names[count++] = attributeName;
      ++p;
      if (p == end || (*p != '"' && *p != '\'')) return false;
      const char quote = *p++;
      p = data + plainRunEnd(data, static_cast<std::size_t>(p - data), text_.size(),
                             static_cast<unsigned char>(quote), static_cast<unsigned char>(quote));
      while (p != end && kValueBytes.plain[static_cast<unsigned char>(*p)]) ++p;
      if (p == end || *p != quote) return false;
      ++p;
    }
    *empty = *p == '/';
    noteStartTag(at_, elementName, *empty);
    if (!*empty) openElements_.push_back(elementName);
    at_ = static_cast<std::size_t>(p - data) + (*empty ? 2 : 1);
    return true;
  }

  // Notes a start tag at start for the children asked for, before its element is opened.
  void noteStartTag(std::size_t start, std::string_view element, bool empty) {
    if (children_ == nullptr || parentClosed_) return;
    if (!children_->parentFound) {
      if (element != parent_) return;
      children_->parentFound = true;
      parentDepth_ = openElements_.size();
      parentClosed_ = empty;
      return;
    }
    if (openElements_.size() == parentDepth_ + 1 && element == child_)
      children_->starts.push_back(start);
  }

  // "<name attributes>" or "<name attributes/>"; *empty tells which.
  bool startTag(bool* empty) {
    if (plainStartTag(empty)) return true;
    const std::size_t start = at_;
    ++at_;  // '<'
    std::string_view element;
    if (!name(start, &element)) return false;
    attributes_.clear();
    // Clearing a set walks all its buckets: a set grown by one huge start tag is dropped instead,
    // so that the tags after it cost no more than their own attributes.
    if (manyAttributes_.bucket_count() > 4 * kPairwiseAttributes) {
      manyAttributes_ = {};
    } else if (!manyAttributes_.empty()) {
      manyAttributes_.clear();
    }
    for (;;) {
      const std::size_t before = at_;
      skipSpace();
      if (peek() == '>' || (peek() == '/' && peek(1) == '>')) break;
      if (at_ == before) return fail(start, "white space expected between attributes");
      std::string_view attribute;
      if (!name(start, &attribute) || !uniqueAttribute(attribute, start)) return false;
      skipSpace();
      if (peek() != '=') return fail(start, "an attribute without a value");
      ++at_;
      skipSpace();
      if (!quoted(start, true)) return false;
    }
    *empty = peek() == '/';
    at_ += *empty ? 2 : 1;
    noteStartTag(start, element, *empty);
    if (!*empty) openElements_.push_back(element);
    return true;
  }

  bool endTag() {
    // The end tag that closes the open element, written plainly, as nearly every one is.
    const std::string_view open = openElements_.empty() ? std::string_view() : openElements_.back();
    const std::size_t close = at_ + 2 + open.size();
    if (!open.empty() && close < text_.size() && text_[close] == '>' &&
        text_.compare(at_ + 2, open.size(), open) == 0) {
      at_ = close + 1;
      openElements_.pop_back();
      if (children_ != nullptr && children_->parentFound && openElements_.size() == parentDepth_)
        parentClosed_ = true;
      return true;
    }
    const std::size_t start = at_;
    at_ += 2;  // "</"
    std::string_view element;
    if (!name(start, &element)) return false;
    skipSpace();
    if (peek() != '>') return fail(start, "a malformed end tag");
    ++at_;
    if (openElements_.empty())
      return fail(start, "the end tag " + std::string(element) + " of no element");
    if (openElements_.back() != element)
      return fail(start, "the end tag " + std::string(element) + " where " +
                             std::string(openElements_.back()) + " ends");
    openElements_.pop_back();
    if (children_ != nullptr && children_->parentFound && openElements_.size() == parentDepth_)
      parentClosed_ = true;
    return true;
  }

  // Character data up to the next markup.
  bool text() {
    for (;;) {
      skipPlainRun(kTextBytes, ']', ']');
      if (atEnd()) return true;
      const unsigned char c = peek();
      if (c == '<') return true;
      if (c == '&') {
        if (!reference(at_)) return false;
        continue;
      }
      if (c == ']') {
        if (startsWith("]]>")) return fail(at_, "\"]]>\" in text");
        ++at_;
        continue;
      }
      if (!character(at_)) return false;
    }
  }

  // The root element and everything in it, without recursion: any depth costs its bytes.
  bool rootElement() {
    bool empty = false;
    if (!startTag(&empty)) return false;
    while (!openElements_.empty()) {
      if (!text()) return false;
      if (atEnd())
        return fail(at_, "the element " + std::string(openElements_.back()) + " does not end");
      const unsigned char next = peek(1);
      if (next == '/') {
        if (!endTag()) return false;
      } else if (next != '!' && next != '?') {
        if (!startTag(&empty)) return false;
      } else if (startsWith("<!--")) {
        if (!comment()) return false;
      } else if (startsWith("<![CDATA[")) {
        if (!cdata()) return false;
      } else if (next == '?') {
        if (!processingInstruction()) return false;
      } else {
        return fail(at_, "a markup declaration inside an element");
      }
    }
    return true;
  }

  // ---- the prolog

  static constexpr std::string_view kPseudoAttributes[] = {"version", "encoding", "standalone"};

  // The values XML 1.0 allows: a version "1." and digits, an encoding name of a letter and then
  // letters, digits, '.', '_' and '-', standalone "yes" or "no".
  static bool validDeclarationValue(std::size_t pseudo, std::string_view value) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    switch (pseudo) {
      case 0:
        return value.size() > 2 && value.starts_with("1.") &&
               std::all_of(value.begin() + 2, value.end(), digit);
      case 1:
        return !value.empty() && letter(value[0]) &&
               std::all_of(value.begin(), value.end(), [&](char c) {
                 return letter(c) || digit(c) || c == '.' || c == '_' || c == '-';
               });
      default:
        return value == "yes" || value == "no";
    }
  }

  bool declarationValue(std::size_t start, std::size_t pseudo) {
    skipSpace();
    if (peek() != '=') return fail(start, "a malformed XML declaration");
    ++at_;
    skipSpace();
    const std::size_t valueStart = at_ + 1;
    if (!quoted(start, false)) return false;
    if (!validDeclarationValue(pseudo, text_.substr(valueStart, at_ - 1 - valueStart)))
      return fail(start, std::string("an XML declaration with an invalid ") +
                             std::string(kPseudoAttributes[pseudo]));
    return true;
  }

  bool xmlDeclaration() {
    const std::size_t start = at_;
    at_ += 5;              // "<?xml"
    std::size_t next = 0;  // they come in this order, the version first and always
    for (;;) {
      const std::size_t before = at_;
      skipSpace();
      if (startsWith("?>")) break;
      if (at_ == before) return fail(start, "a malformed XML declaration");
      std::string_view pseudo;
      if (!name(start, &pseudo)) return false;
      while (next < 3 && pseudo != kPseudoAttributes[next]) {
        if (next == 0) return fail(start, "an XML declaration without a version");
        ++next;
      }
      if (next == 3) return fail(start, "a malformed XML declaration");
      if (!declarationValue(start, next)) return false;
      ++next;
    }
    if (next == 0) return fail(start, "an XML declaration without a version");
    at_ += 2;
    return true;
  }

  // A declaration of the internal subset, up to its '>': quoted literals may hold '>'.
  bool markupDeclaration() {
    const std::size_t start = at_;
    if (startsWith("<!ENTITY")) {
      at_ += 8;
      const std::size_t before = at_;
      skipSpace();
      if (at_ == before) return fail(start, "a malformed entity declaration");
      const bool parameter = peek() == '%';
      if (parameter) {
        ++at_;
        skipSpace();
      }
      std::string_view entity;
      if (!name(start, &entity)) return false;
      if (!parameter) declaredEntities_.insert(entity);
    } else {
      at_ += 2;
    }
    while (!atEnd() && peek() != '>') {
      if (peek() == '"' || peek() == '\'') {
        if (!quoted(start, false)) return false;
      } else if (!character(start)) {
        return false;
      }
    }
    if (atEnd()) return fail(start, "a markup declaration that does not end");
    ++at_;
    return true;
  }

  bool internalSubset(std::size_t doctypeStart) {
    ++at_;  // '['
    for (;;) {
      skipSpace();
      if (atEnd()) return fail(doctypeStart, "a document type declaration that does not end");
      if (peek() == ']') {
        ++at_;
        return true;
      }
      if (peek() == '%') {
        anyEntityMayBeDeclared_ = true;  // a parameter entity may declare any entity
        ++at_;
        if (!name(at_ - 1) || peek() != ';')
          return fail(at_, "a malformed parameter entity reference");
        ++at_;
      } else if (startsWith("<!--")) {
        if (!comment()) return false;
      } else if (startsWith("<?")) {
        if (!processingInstruction()) return false;
      } else if (startsWith("<!")) {
        if (!markupDeclaration()) return false;
      } else {
        return fail(at_, "a malformed internal subset");
      }
    }
  }

  bool doctype() {
    const std::size_t start = at_;
    if (doctypeSeen_ || rootSeen_) return fail(start, "a document type declaration out of place");
    doctypeSeen_ = true;
    at_ += 9;  // "<!DOCTYPE"
    const std::size_t before = at_;
    skipSpace();
    if (at_ == before || !name(start)) return fail(start, "a malformed document type declaration");
    skipSpace();
    if (startsWith("SYSTEM") || startsWith("PUBLIC")) {
      anyEntityMayBeDeclared_ = true;  // the external subset, never read, may declare any
      at_ += 6;
      for (int literals = startsWith("PUBLIC") ? 2 : 1; literals > 0; --literals) {
        skipSpace();
        if (peek() != '"' && peek() != '\'') break;  // PUBLIC's system literal may be left out
        if (!quoted(start, false)) return false;
      }
      skipSpace();
    }
    if (peek() == '[') {
      if (!internalSubset(start)) return false;
      skipSpace();
    }
    if (peek() != '>') return fail(start, "a malformed document type declaration");
    ++at_;
    return true;
  }

  bool document() {
    if (startsWith("<?xml") && (isSpace(peek(5)) || text_.compare(5, 2, "?>") == 0) &&
        !xmlDeclaration())
      return false;
    for (;;) {
      skipSpace();
      if (atEnd()) return rootSeen_ ? true : fail(at_, "no root element");
      if (startsWith("<!--")) {
        if (!comment()) return false;
      } else if (startsWith("<?")) {
        if (!processingInstruction()) return false;
      } else if (startsWith("<!DOCTYPE")) {
        if (!doctype()) return false;
      } else if (peek() != '<' || startsWith("</") || startsWith("<!")) {
        return fail(
            at_, rootSeen_ ? "content after the root element" : "content before the root element");
      } else if (rootSeen_) {
        return fail(at_, "a second root element");
      } else {
        if (!rootElement()) return false;
        rootSeen_ = true;
      }
    }
  }

  std::string_view text_;
  bool anyBytes_;
  ChildElements* children_;
  std::string_view parent_;  // the names of children_, measured once
  std::string_view child_;
  std::size_t parentDepth_ = 0;  // the open elements around the parent
  bool parentClosed_ = false;
  std::size_t at_ = 0;
  std::size_t failedAt_ = 0;
  std::string problem_;
  bool references_ = false;
  bool breaksInValues_ = false;
  bool carriageReturns_ = false;
  bool rootSeen_ = false;
  bool doctypeSeen_ = false;
  bool anyEntityMayBeDeclared_ = false;
  std::unordered_set<std::string_view> declaredEntities_;
  std::vector<std::string_view> openElements_;
  std::vector<std::string_view> attributes_;
  std::unordered_set<std::string_view> manyAttributes_;
};

}  // namespace

WellFormedness checkWellFormed(std::string_view text, bool anyBytes, ChildElements* children) {
  return Checker(text, anyBytes, children).run();
}

bool isXmlText(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = xmlCharLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

}  // namespace kyto::xmlnode
