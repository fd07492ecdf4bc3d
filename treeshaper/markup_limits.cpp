#include "markup_limits.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string_view>

namespace kyto::xml {

namespace {

bool isBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isQuote(unsigned char c) {
  return c == '"' || c == '\'';
}

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (upper(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool isDigits(std::string_view text, std::size_t least, std::size_t most) {
  return text.size() >= least && text.size() <= most &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isNamed(std::string_view name, std::initializer_list<std::string_view> names) {
  for (std::string_view known : names) {
    if (name.size() == known.size() && startsWithIgnoringCase(name, known)) return true;
  }
  return false;
}

// How the scanner reads a declared encoding, or nothing for one it can't read. Single-byte:
// every byte below 0x80 is the ASCII character, as in UTF-8, ASCII, ISO-8859-n, the Windows code
// pages 125n and EUC-JP. Shift_JIS, GBK, GB18030, Big5 and the Korean code pages add characters
// of two bytes whose second may look like ASCII ("[" or "]", which the scanner heeds): their
// first bytes are told apart, and the next byte is skipped.
std::optional<MultiByte> readableEncoding(std::string_view name) {
  if (isNamed(name, {"UTF-8", "UTF8", "US-ASCII", "ASCII", "LATIN1", "EUC-JP", "EUCJP"})) {
    return MultiByte::kNone;
  }
  for (std::string_view family : {"ISO-8859-", "ISO8859-", "ISO_8859-"}) {
    if (startsWithIgnoringCase(name, family) && isDigits(name.substr(family.size()), 1, 2)) {
      return MultiByte::kNone;
    }
  }
  for (std::string_view family : {"WINDOWS-125", "CP125"}) {
    if (startsWithIgnoringCase(name, family) && isDigits(name.substr(family.size()), 1, 1)) {
      return MultiByte::kNone;
    }
  }
  if (isNamed(name, {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "CP932", "MS932", "WINDOWS-31J"})) {
    return MultiByte::kShiftJis;
  }
  if (isNamed(name, {"GBK", "GB2312", "GB18030", "CP936", "EUC-CN", "BIG5", "BIG-5", "BIG5-HKSCS",
                     "CP950", "EUC-KR", "EUCKR", "CP949", "UHC"})) {
    return MultiByte::kLeadFrom0x81;
  }
  return std::nullopt;
}

// The keywords after "<!" in content and in the internal subset.
constexpr std::string_view kComment = "--";
constexpr std::string_view kCData = "[CDATA[";
constexpr std::string_view kDoctype = "DOCTYPE";
constexpr std::string_view kAttlist = "ATTLIST";
constexpr std::string_view kEntity = "ENTITY";
constexpr std::string_view kElement = "ELEMENT";
constexpr std::string_view kNotation = "NOTATION";

// The bytes startTagByte does more with than add to a name.
constexpr std::array<bool, 256> kMeansSomethingInTag = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : {'"', '\'', '=', '>', '/', ' ', '\t', '\r', '\n'}) table[c] = true;
  return table;
}();

constexpr std::uint32_t kLessThan = '<';
constexpr std::uint32_t kBeyondUnicode = 0x110000;

}  // namespace

// The numbers are those of markup_limits.h.
const char* describeBreach(MarkupBreach breach) {
  switch (breach) {
    case MarkupBreach::kNone:
      return "within the limits";
    case MarkupBreach::kTooManyAttributes:
      return "more than 256 attributes in one element";
    case MarkupBreach::kTooDeep:
      return "more than 256 elements open at once";
    case MarkupBreach::kTooManyNamespaces:
      return "more than 64 namespace declarations in scope";
    case MarkupBreach::kDefaultAttribute:
      return "a default attribute value in the document type";
    case MarkupBreach::kParameterEntity:
      return "a parameter entity in the document type";
    case MarkupBreach::kMarkupInEntity:
      return "markup in an entity value";
    case MarkupBreach::kEncoding:
      return "an encoding other than UTF-8, ASCII, ISO-8859, Windows-125x, EUC, Shift_JIS, GBK, "
             "GB18030 or Big5";
    case MarkupBreach::kLongDeclaration:
      return "an XML declaration longer than 256 bytes";
  }
  return "beyond the limits";
}

std::size_t MarkupScanner::scan(const char* data, std::size_t size) {
  if (breach_ != MarkupBreach::kNone) return 0;
  for (std::size_t k = 0; signatureLength_ < sizeof signature_ && k < size; ++k) {
    if (!signatureAllowed(static_cast<unsigned char>(data[k]))) {
      return fail(MarkupBreach::kEncoding, k);
    }
  }
  std::size_t i = 0;
  while (i < size) {
    const auto c = static_cast<unsigned char>(data[i]);
    // The second byte of a character of two means nothing by itself. Neither "<" nor a quote nor
    // a byte that ends a name is ever one, so the runs below never end inside a character.
    if (trailNext_) {
      trailNext_ = false;
      ++i;
      continue;
    }
    // The bulk of a document: text up to the next "<", and attribute values up to their quote.
    if (state_ == State::kText || (state_ == State::kStartTag && quote_ != 0)) {
      const char wanted = state_ == State::kText ? '<' : static_cast<char>(quote_);
      const auto* found = static_cast<const char*>(std::memchr(data + i, wanted, size - i));
      if (found == nullptr) return size;
      i = static_cast<std::size_t>(found - data);
      if (state_ == State::kText) {
        state_ = State::kMarkup;
      } else {
        quote_ = 0;
        nameLength_ = 0;
        nameEnded_ = false;
        slashBefore_ = false;
      }
      ++i;
      continue;
    }
    // Names in a start tag, up to the next byte that means something there.
    if (state_ == State::kStartTag && !kMeansSomethingInTag[c]) {
      std::size_t end = i + 1;
      while (end < size && !kMeansSomethingInTag[static_cast<unsigned char>(data[end])]) ++end;
      takeName(data + i, end - i);
      i = end;
      continue;
    }
    trailNext_ = isLeadByte(c);
    if (!step(c)) return fail(breach_, i);
    ++i;
  }
  return size;
}

void MarkupScanner::takeName(const char* bytes, std::size_t count) {
  if (nameEnded_) nameLength_ = 0;
  nameEnded_ = false;
  slashBefore_ = false;
  std::size_t k = 0;
  for (; k < count && nameLength_ < sizeof name_; ++k) name_[nameLength_++] = bytes[k];
  // Past its first bytes only whether the name is longer counts.
  if (k < count) nameLength_ = sizeof name_ + 1;
}

std::size_t MarkupScanner::fail(MarkupBreach breach, std::size_t i) {
  breach_ = breach;
  return i;
}

// UTF-16, UCS-4 and EBCDIC documents, told by their first bytes as libxml2 tells them, would be
// decoded into markup the scanner never saw. Any other first bytes libxml2 reads as UTF-8.
bool MarkupScanner::signatureAllowed(unsigned char c) {
  signature_[signatureLength_++] = c;
  static constexpr unsigned char kDecodedOtherwise[][4] = {
      {0x00, 0x00, 0x00, 0x3C}, {0x3C, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x3C, 0x00},
      {0x00, 0x3C, 0x00, 0x00}, {0x4C, 0x6F, 0xA7, 0x94}, {0x3C, 0x00, 0x3F, 0x00},
      {0x00, 0x3C, 0x00, 0x3F}};
  static constexpr unsigned char kByteOrderMarks[][2] = {{0xFE, 0xFF}, {0xFF, 0xFE}};
  for (const auto& mark : kByteOrderMarks) {
    if (signatureLength_ == 2 && std::equal(std::begin(mark), std::end(mark), signature_)) {
      return false;
    }
  }
  for (const auto& start : kDecodedOtherwise) {
    if (signatureLength_ == 4 && std::equal(std::begin(start), std::end(start), signature_)) {
      return false;
    }
  }
  return true;
}

bool MarkupScanner::step(unsigned char c) {
  switch (state_) {
    case State::kText:  // handled in scan
      return true;
    case State::kMarkup:
      return markupByte(c);
    case State::kStartTag:
      return startTagByte(c);
    case State::kEndTag:
      if (c == '>') endElement();
      return true;
    case State::kPiTarget:
      return piTargetByte(c);
    case State::kPiBody:
      return piBodyByte(c);
    case State::kBang:
      return bangByte(c);
    case State::kComment:
      if (c == '>' && dashes_ >= 2) state_ = context_;
      dashes_ = c == '-' ? dashes_ + 1 : 0;
      return true;
    case State::kCData:
      if (c == '>' && dashes_ >= 2) state_ = State::kText;
      dashes_ = c == ']' ? dashes_ + 1 : 0;
      return true;
    case State::kSkipToClose:
      if (c == '>') state_ = State::kText;
      return true;
    case State::kDoctype:
      if (isQuote(c)) {
        enterLiteral(c, State::kDoctype);
      } else if (c == '[') {
        state_ = State::kSubset;
      } else if (c == '>') {
        state_ = State::kText;
      }
      return true;
    case State::kSubset:
      return subsetByte(c);
    case State::kSubsetMarkup:
      context_ = State::kSubset;
      if (c == '?') {
        enterPi();
      } else if (c == '!') {
        enterBang();
      } else {
        declarationKind_ = Declaration::kOther;
        state_ = State::kDeclaration;
      }
      return true;
    case State::kDeclaration:
      return declarationByte(c);
    case State::kLiteral:
      return literalByte(c);
    case State::kDoctypeEnd:
      if (c == '>') state_ = State::kText;
      return true;
  }
  return true;
}

bool MarkupScanner::markupByte(unsigned char c) {
  context_ = State::kText;
  if (c == '/') {
    state_ = State::kEndTag;
  } else if (c == '?') {
    enterPi();
  } else if (c == '!') {
    enterBang();
  } else {
    if (depth_ >= kMaxDepth) {
      breach_ = MarkupBreach::kTooDeep;
      return false;
    }
    state_ = State::kStartTag;
    attributes_ = 0;
    tagNamespaces_ = 0;
    nameLength_ = 0;
    nameEnded_ = false;
    quote_ = 0;
    slashBefore_ = false;
    return startTagByte(c);
  }
  return true;
}

bool MarkupScanner::startTagByte(unsigned char c) {
  bool ok = true;
  if (isQuote(c)) {
    quote_ = c;
  } else if (c == '=') {
    ok = countAttribute();
    nameLength_ = 0;
    nameEnded_ = false;
  } else if (c == '>') {
    endStartTag(slashBefore_);
  } else if (isBlank(c)) {
    nameEnded_ = true;  // blanks may stand between a name and its "="
  } else {
    if (nameEnded_) nameLength_ = 0;
    nameEnded_ = false;
    if (nameLength_ < sizeof name_) name_[nameLength_] = static_cast<char>(c);
    nameLength_ = std::min(nameLength_ + 1, sizeof name_ + 1);
  }
  slashBefore_ = c == '/';
  return ok;
}

// An attribute's "=": one more attribute, and one more namespace declaration when its name is
// "xmlns" or begins with "xmlns:".
bool MarkupScanner::countAttribute() {
  if (++attributes_ > kMaxAttributesPerElement) {
    breach_ = MarkupBreach::kTooManyAttributes;
    return false;
  }
  const std::string_view head(name_, std::min(nameLength_, sizeof name_));
  const bool declaresNamespace =
      (nameLength_ == 5 && head == "xmlns") || (nameLength_ >= 6 && head == "xmlns:");
  if (declaresNamespace && namespacesInScope_ + ++tagNamespaces_ > kMaxNamespacesInScope) {
    breach_ = MarkupBreach::kTooManyNamespaces;
    return false;
  }
  return true;
}

void MarkupScanner::endStartTag(bool empty) {
  state_ = State::kText;
  if (empty) return;  // its declarations go out of scope with it
  ++depth_;
  if (tagNamespaces_ == 0) return;
  // The sum stays within the limit, so the entries fit: each holds at least one declaration.
  scopes_[scopeCount_++] = ScopeEntry{depth_, tagNamespaces_};
  namespacesInScope_ += tagNamespaces_;
}

// libxml2 closes the innermost open element at every end tag, whatever name it gives.
void MarkupScanner::endElement() {
  state_ = State::kText;
  if (scopeCount_ > 0 && scopes_[scopeCount_ - 1].depth == depth_) {
    namespacesInScope_ -= scopes_[--scopeCount_].count;
  }
  if (depth_ > 0) --depth_;
}

void MarkupScanner::enterPi() {
  state_ = State::kPiTarget;
  keywordLength_ = 0;
  questionBefore_ = false;
  inDeclaration_ = false;
}

void MarkupScanner::enterBang() {
  state_ = State::kBang;
  keywordLength_ = 0;
}

bool MarkupScanner::piTargetByte(unsigned char c) {
  if (!isBlank(c) && c != '?') {
    if (keywordLength_ < sizeof keyword_) keyword_[keywordLength_] = static_cast<char>(c);
    keywordLength_ = std::min(keywordLength_ + 1, sizeof keyword_ + 1);
    return true;
  }
  // The target "xml" makes the XML declaration, whose encoding must be one the scanner reads.
  inDeclaration_ = std::string_view(keyword_, std::min(keywordLength_, sizeof keyword_)) == "xml" &&
                   keywordLength_ == 3;
  declarationLength_ = 0;
  state_ = State::kPiBody;
  return piBodyByte(c);
}

bool MarkupScanner::piBodyByte(unsigned char c) {
  if (questionBefore_ && c == '>') {
    state_ = context_;
    if (inDeclaration_ && !acceptDeclaredEncoding()) {
      breach_ = MarkupBreach::kEncoding;
      return false;
    }
    return true;
  }
  questionBefore_ = c == '?';
  if (!inDeclaration_) return true;
  // Blanks are kept as one space, so only the declaration's words count toward its length.
  const char kept = isBlank(c) ? ' ' : static_cast<char>(c);
  if (kept == ' ' && declarationLength_ > 0 && declaration_[declarationLength_ - 1] == ' ') {
    return true;
  }
  if (declarationLength_ == sizeof declaration_) {
    breach_ = MarkupBreach::kLongDeclaration;
    return false;
  }
  declaration_[declarationLength_++] = kept;
  return true;
}

// The XML declaration's text, blanks as single spaces and its closing "?" included, has no
// encoding or one the scanner reads, which it then reads the rest in. An encoding declaration it
// can't make out is refused too; libxml2 would refuse it as well.
bool MarkupScanner::acceptDeclaredEncoding() {
  std::string_view text(declaration_, declarationLength_);
  const std::size_t at = text.find(" encoding");
  if (at == std::string_view::npos) return true;
  text.remove_prefix(at + std::string_view(" encoding").size());
  const auto skipSpace = [&text] {
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  };
  skipSpace();
  if (text.empty() || text.front() != '=') return false;
  text.remove_prefix(1);
  skipSpace();
  if (text.empty() || !isQuote(static_cast<unsigned char>(text.front()))) return false;
  const char quote = text.front();
  text.remove_prefix(1);
  const std::size_t end = text.find(quote);
  if (end == std::string_view::npos) return false;
  const std::optional<MultiByte> readable = readableEncoding(text.substr(0, end));
  if (readable) multiByte_ = *readable;
  return readable.has_value();
}

bool MarkupScanner::isLeadByte(unsigned char c) const {
  switch (multiByte_) {
    case MultiByte::kNone:
      return false;
    case MultiByte::kShiftJis:  // 0xA1 to 0xDF are characters of one byte
      return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case MultiByte::kLeadFrom0x81:
      return c >= 0x81 && c <= 0xFE;
  }
  return false;
}

bool MarkupScanner::bangByte(unsigned char c) {
  if (keywordLength_ < sizeof keyword_) keyword_[keywordLength_++] = static_cast<char>(c);
  const std::string_view word(keyword_, keywordLength_);
  const bool inSubset = context_ == State::kSubset;
  const auto matches = [&word](std::string_view keyword) { return keyword.starts_with(word); };
  if (word == kComment) {
    state_ = State::kComment;
    dashes_ = 0;
  } else if (!inSubset && word == kCData) {
    state_ = State::kCData;
    dashes_ = 0;
  } else if (!inSubset && word == kDoctype) {
    declarationKind_ = Declaration::kOther;
    state_ = State::kDoctype;
  } else if (inSubset &&
             (word == kAttlist || word == kEntity || word == kElement || word == kNotation)) {
    declarationKind_ = word == kAttlist  ? Declaration::kAttlist
                       : word == kEntity ? Declaration::kEntity
                                         : Declaration::kOther;
    state_ = State::kDeclaration;
  } else if (inSubset ? !(matches(kComment) || matches(kAttlist) || matches(kEntity) ||
                          matches(kElement) || matches(kNotation))
                      : !(matches(kComment) || matches(kCData) || matches(kDoctype))) {
    // Not a declaration libxml2 accepts here: it stops at its error.
    declarationKind_ = Declaration::kOther;
    state_ = inSubset ? State::kDeclaration : State::kSkipToClose;
  }
  return true;
}

// Parameter entities could bring declarations the scanner never sees; none are accepted.
bool MarkupScanner::subsetByte(unsigned char c) {
  if (c == '%') {
    breach_ = MarkupBreach::kParameterEntity;
    return false;
  }
  if (c == ']') state_ = State::kDoctypeEnd;
  if (c == '<') state_ = State::kSubsetMarkup;
  return true;
}

bool MarkupScanner::declarationByte(unsigned char c) {
  if (c == '%') {
    breach_ = MarkupBreach::kParameterEntity;
    return false;
  }
  if (isQuote(c)) {
    // The only literals of an attribute-list declaration are default values.
    if (declarationKind_ == Declaration::kAttlist) {
      breach_ = MarkupBreach::kDefaultAttribute;
      return false;
    }
    enterLiteral(c, State::kDeclaration);
  } else if (c == '>') {
    state_ = State::kSubset;
  }
  return true;
}

void MarkupScanner::enterLiteral(unsigned char quote, State after) {
  state_ = State::kLiteral;
  quote_ = quote;
  afterLiteral_ = after;
  referenceState_ = 0;
}

// An entity's value becomes markup where the entity is used, so it may hold no "<", written or
// as a character reference: the markup it could carry would never pass the scanner.
bool MarkupScanner::literalByte(unsigned char c) {
  if (declarationKind_ == Declaration::kEntity && referenceState_ != 0) {
    const bool decimal = c >= '0' && c <= '9';
    const bool hex = decimal || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    const auto digit = static_cast<std::uint32_t>(decimal ? c - '0' : (c | 0x20) - 'a' + 10);
    const int was = referenceState_;
    referenceState_ = 0;
    if (was == 1 && c == '#') referenceState_ = 2;
    if (was == 2 && c == 'x') referenceState_ = 4, referenceValue_ = 0;
    if ((was == 2 || was == 3) && decimal) {
      referenceState_ = 3;
      referenceValue_ = std::min(was == 2 ? digit : referenceValue_ * 10 + digit, kBeyondUnicode);
    }
    if (was == 4 && hex) {
      referenceState_ = 4;
      referenceValue_ = std::min(referenceValue_ * 16 + digit, kBeyondUnicode);
    }
    if ((was == 3 || was == 4) && c == ';' && referenceValue_ == kLessThan) {
      breach_ = MarkupBreach::kMarkupInEntity;
      return false;
    }
    if (referenceState_ != 0) return true;
  }
  if (c == quote_) {
    quote_ = 0;
    state_ = afterLiteral_;
    return true;
  }
  if (declarationKind_ != Declaration::kEntity) return true;
  if (c == '<') {
    breach_ = MarkupBreach::kMarkupInEntity;
    return false;
  }
  if (c == '&') referenceState_ = 1;
  return true;
}

}  // namespace kyto::xml
