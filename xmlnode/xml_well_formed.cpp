#include "xml_well_formed.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace kyto::xmlnode {

namespace {

// Attributes of one start tag compared pairwise up to this many, through a hash set beyond: a
// start tag of many attributes costs no more than their bytes.
constexpr std::size_t kPairwiseAttributes = 16;

bool isSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameByte(unsigned char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isXmlChar(std::uint32_t c) {
  if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
  if (c <= 0xD7FF) return true;
  if (c < 0xE000) return false;  // UTF-16 surrogates
  if (c <= 0xFFFD) return true;
  return c >= 0x10000 && c <= 0x10FFFF;
}

class Checker {
 public:
  Checker(std::string_view text, bool anyBytes) : text_(text), anyBytes_(anyBytes) {}

  WellFormedness run() {
    if (document()) return {true, text_.size(), {}};
    return {false, failedAt_, std::move(problem_)};
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

  // The length of the character at at_ when it is valid UTF-8 and allowed in XML, else 0.
  std::size_t charLength() const {
    const unsigned char first = peek();
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
    if (at_ + length > text_.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = peek(k);
      if ((next & 0xC0) != 0x80) return 0;
      c = c << 6 | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    return c >= kSmallest[length] && isXmlChar(c) ? length : 0;
  }

  // Steps over one character; false (with the problem) when it is none XML allows.
  bool character(std::size_t markupStart) {
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

  bool name(std::size_t markupStart, std::string_view* taken = nullptr) {
    const std::size_t start = at_;
    if (atEnd() || !isNameStart(peek())) return fail(markupStart, "a name expected");
    while (!atEnd() && isNameByte(peek())) {
      if (peek() < 0x80) {
        ++at_;
      } else if (!character(markupStart)) {
        return false;
      }
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
    return isXmlChar(value) ? true : fail(problemAt, "a reference to a character XML does not allow");
  }

  bool reference(std::size_t problemAt) {
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
    while (!atEnd() && peek() != quote) {
      if (attributeValue && peek() == '<') return fail(markupStart, "a '<' in an attribute value");
      if (attributeValue && peek() == '&') {
        if (!reference(markupStart)) return false;
        continue;
      }
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
      for (const std::string_view seen : attributes_)
        if (seen == attribute) return twice(attribute, markupStart);
      attributes_.push_back(attribute);
      if (attributes_.size() == kPairwiseAttributes) manyAttributes_.insert(attributes_.begin(),
                                                                            attributes_.end());
      return true;
    }
    if (!manyAttributes_.insert(attribute).second) return twice(attribute, markupStart);
    return true;
  }

  // "<name attributes>" or "<name attributes/>"; *empty tells which.
  bool startTag(bool* empty) {
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
      if (startsWith("/>") || startsWith(">")) break;
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
    if (!*empty) openElements_.push_back(element);
    return true;
  }

  bool endTag() {
    const std::size_t start = at_;
    at_ += 2;  // "</"
    std::string_view element;
    if (!name(start, &element)) return false;
    skipSpace();
    if (peek() != '>') return fail(start, "a malformed end tag");
    ++at_;
    if (openElements_.empty()) return fail(start, "the end tag " + std::string(element) + " of no element");
    if (openElements_.back() != element)
      return fail(start, "the end tag " + std::string(element) + " where " +
                             std::string(openElements_.back()) + " ends");
    openElements_.pop_back();
    return true;
  }

  // Character data up to the next markup.
  bool text() {
    while (!atEnd()) {
      const unsigned char c = peek();
      if (c == '<') return true;
      if (c == '&') {
        if (!reference(at_)) return false;
        continue;
      }
      if (c == ']' && startsWith("]]>")) return fail(at_, "\"]]>\" in text");
      if (c >= 0x20 && c < 0x80) {
        ++at_;
        continue;
      }
      if (!character(at_)) return false;
    }
    return true;
  }

  // The root element and everything in it, without recursion: any depth costs its bytes.
  bool rootElement() {
    bool empty = false;
    if (!startTag(&empty)) return false;
    while (!openElements_.empty()) {
      if (!text()) return false;
      if (atEnd()) return fail(at_, "the element " + std::string(openElements_.back()) + " does not end");
      if (startsWith("</")) {
        if (!endTag()) return false;
      } else if (startsWith("<!--")) {
        if (!comment()) return false;
      } else if (startsWith("<![CDATA[")) {
        if (!cdata()) return false;
      } else if (startsWith("<?")) {
        if (!processingInstruction()) return false;
      } else if (startsWith("<!")) {
        return fail(at_, "a markup declaration inside an element");
      } else if (!startTag(&empty)) {
        return false;
      }
    }
    return true;
  }

  // ---- the prolog

  bool declarationValue(std::size_t start) {
    skipSpace();
    if (peek() != '=') return fail(start, "a malformed XML declaration");
    ++at_;
    skipSpace();
    return quoted(start, false);
  }

  bool xmlDeclaration() {
    const std::size_t start = at_;
    at_ += 5;  // "<?xml"
    static const std::string_view kPseudoAttributes[] = {"version", "encoding", "standalone"};
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
      ++next;
      if (!declarationValue(start)) return false;
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
        if (!name(at_ - 1) || peek() != ';') return fail(at_, "a malformed parameter entity reference");
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
        return fail(at_, rootSeen_ ? "content after the root element"
                                   : "content before the root element");
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
  std::size_t at_ = 0;
  std::size_t failedAt_ = 0;
  std::string problem_;
  bool rootSeen_ = false;
  bool doctypeSeen_ = false;
  bool anyEntityMayBeDeclared_ = false;
  std::unordered_set<std::string_view> declaredEntities_;
  std::vector<std::string_view> openElements_;
  std::vector<std::string_view> attributes_;
  std::unordered_set<std::string_view> manyAttributes_;
};

}  // namespace

WellFormedness checkWellFormed(std::string_view text, bool anyBytes) {
  return Checker(text, anyBytes).run();
}

}  // namespace kyto::xmlnode
