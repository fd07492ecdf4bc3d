// Walking the children of one element of a file without building a tree.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "xml_input.h"
#include "xml_node.h"
#include "xml_well_formed.h"

namespace {

using kyto::xmlnode::InputStatus;

constexpr bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The bytes that end a name in a start tag: white space, '=', '/' and '>'.
struct NameEnds {
  bool end[256] = {};
};

constexpr NameEnds makeNameEnds() {
  NameEnds table;
  for (const char c : {' ', '\t', '\n', '\r', '=', '/', '>'})
    table.end[static_cast<unsigned char>(c)] = true;
  return table;
}

constexpr NameEnds kNameEnds = makeNameEnds();

char* nameEnd(char* p) {
  while (!kNameEnds.end[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// Writes a character as UTF-8 at out; returns the byte after it.
char* putUtf8(char* out, std::uint32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | c >> 6);
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | c >> 12);
    *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | c >> 18);
    *out++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Replaces a reference at in (its '&') written into out; returns past the reference. The text is
// well-formed, so every reference is whole. A reference to a declared entity stays as written,
// as a tree keeps it.
const char* reference(const char* in, char*& out) {
  if (in[1] == '#') {
    const bool hex = in[2] == 'x';
    const char* digit = in + (hex ? 3 : 2);
    std::uint32_t value = 0;
    for (; *digit != ';'; ++digit) {
      const char c = *digit;
      const std::uint32_t d = c <= '9' ? static_cast<std::uint32_t>(c - '0')
                                       : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
      value = value * (hex ? 16 : 10) + d;
    }
    out = putUtf8(out, value);
    return digit + 1;
  }
  static const struct {
    const char* name;
    char value;
  } kPredefined[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
  for (const auto& predefined : kPredefined) {
    const std::size_t length = std::strlen(predefined.name);
    if (std::strncmp(in + 1, predefined.name, length) == 0) {
      *out++ = predefined.value;
      return in + 1 + length;
    }
  }
  const char* end = std::strchr(in, ';') + 1;
  while (in != end) *out++ = *in++;
  return end;
}

enum class Decoded { kValue, kText, kCdata };

// Decodes a value or character data in place, as a tree reads it: references replaced (not in a
// CDATA section); in a value each tab, newline, carriage return or carriage return and newline a
// space, in text each carriage return or carriage return and newline a newline. Returns its new
// end.
template <Decoded kind>
char* decodeInPlace(char* begin, const char* end) {
  constexpr char kLineEnd = kind == Decoded::kValue ? ' ' : '\n';
  char* out = begin;
  for (const char* in = begin; in != end;) {
    const char c = *in;
    if (c == '&' && kind != Decoded::kCdata) {
      in = reference(in, out);
    } else if (c == '\r') {
      *out++ = kLineEnd;
      in += in + 1 != end && in[1] == '\n' ? 2 : 1;
    } else {
      *out++ = kind == Decoded::kValue && (c == '\n' || c == '\t') ? ' ' : c;
      ++in;
    }
  }
  return out;
}

// Where text at p (within limit) begins to hold something: limit's end or a byte after p.
const char* skipTo(const char* p, const char* limit, const char* what) {
  const std::size_t length = std::strlen(what);
  for (; p < limit; ++p)
    if (static_cast<std::size_t>(limit - p) >= length && std::memcmp(p, what, length) == 0)
      return p + length;
  return limit;
}

// The end of the start tag at tag ('<'): the position of its '>', quoted values stepped over.
char* tagEnd(char* tag, const char* limit) {
  char* p = tag + 1;
  while (p < limit && *p != '>') {
    if (*p == '"' || *p == '\'') {
      const char quote = *p++;
      while (p < limit && *p != quote) ++p;
    }
    if (p < limit) ++p;
  }
  return p;
}

// The attributes of the start tag at tag, its names and values ended in place and, with decode,
// decoded (a text without references or breaks in its values needs none). Returns the position
// of its '>' (or of "/>"), the tag being whole.
char* readStartTag(char* tag, XMLNode::ChildElement::Attributes& attributes, bool decode) {
  attributes.clear();
  char* p = nameEnd(tag + 1);
  for (;;) {
    while (isSpace(*p)) ++p;
    if (*p == '/' || *p == '>') return p;
    char* name = p;
    p = ::nameEnd(p);
    char* nameEnd = p;
    while (*p != '"' && *p != '\'') ++p;
    const char quote = *p;
    char* value = p + 1;
    char* valueEnd = std::strchr(value, quote);
    p = valueEnd + 1;
    *(decode ? decodeInPlace<Decoded::kValue>(value, valueEnd) : valueEnd) = '\0';
    *nameEnd = '\0';
    attributes.push_back({name, static_cast<std::size_t>(nameEnd - name), value});
  }
}

bool isWhiteRun(const char* begin, const char* end) {
  for (; begin != end; ++begin)
    if (!isSpace(*begin)) return false;
  return true;
}

// Texts and names found while the content of one element is scanned, ended in place once the
// scan is done: ending one earlier would overwrite the markup the scan still reads.
struct Found {
  char* begin;
  char* end;
  int kind;  // kName, kText, kCdata
};
enum { kName, kText, kCdata };

// The direct child elements of the element whose content begins at p, each with its first text,
// as a tree of the same text has them (white-space-only text is no text); up to its end tag, or
// to limit when the text is cut before it.
void readChildren(char* p, const char* limit, std::vector<std::pair<const char*, const char*>>& out,
                  std::vector<Found>& found) {
  out.clear();
  found.clear();
  int depth = 0;             // 0: in the element; 1: in one of its children
  bool textPending = false;  // the current child's first text is still to be found
  while (p < limit) {
    if (*p != '<') {
      char* text = p;
      while (p < limit && *p != '<') ++p;
      if (depth == 1 && textPending && !isWhiteRun(text, p)) {
        found.push_back({text, p, kText});
        textPending = false;
      }
      continue;
    }
    const char next = p + 1 < limit ? p[1] : '\0';
    if (next == '!' && std::strncmp(p, "<!--", 4) == 0) {
      p = const_cast<char*>(skipTo(p + 4, limit, "-->"));
    } else if (next == '!' && std::strncmp(p, "<![CDATA[", 9) == 0) {
      char* text = p + 9;
      p = const_cast<char*>(skipTo(text, limit, "]]>"));
      if (depth == 1 && textPending) {
        found.push_back({text, p == limit ? p : p - 3, kCdata});
        textPending = false;
      }
    } else if (next == '?') {
      p = const_cast<char*>(skipTo(p + 2, limit, "?>"));
    } else if (next == '/') {
      p = const_cast<char*>(skipTo(p + 2, limit, ">"));
      if (--depth < 0) break;
    } else {
      char* end = tagEnd(p, limit);
      const bool empty = end < limit && end[-1] == '/';
      if (depth == 0) {
        char* name = p + 1;
        char* nameEnd = name;
        while (nameEnd < end && !isSpace(*nameEnd) && *nameEnd != '/') ++nameEnd;
        found.push_back({name, nameEnd, kName});
        textPending = !empty;
      }
      if (!empty) ++depth;
      p = end < limit ? end + 1 : end;
    }
  }
  // Each child's text follows its name in found.
  const char* name = nullptr;
  for (Found& piece : found) {
    char* end = piece.kind == kName    ? piece.end
                : piece.kind == kCdata ? decodeInPlace<Decoded::kCdata>(piece.begin, piece.end)
                                       : decodeInPlace<Decoded::kText>(piece.begin, piece.end);
    *end = '\0';
    if (piece.kind == kName) {
      if (name != nullptr) out.emplace_back(name, nullptr);
      name = piece.begin;
    } else {
      out.emplace_back(name, piece.begin);
      name = nullptr;
    }
  }
  if (name != nullptr) out.emplace_back(name, nullptr);
}

bool sameName(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace

const char* XMLNode::ChildElement::getAttribute(const char* name) const {
  const std::size_t length = std::strlen(name);
  for (const Attribute& attribute : attributes_)
    if (attribute.nameLength == length && std::memcmp(attribute.name, name, length) == 0)
      return attribute.value;
  return nullptr;
}

void XMLNode::ChildElement::getAttributes(const char* const* names, const char** values,
                                          int count) const {
  constexpr int kMostNames = 16;
  std::size_t lengths[kMostNames];
  if (count > kMostNames) {
    for (int i = 0; i < count; ++i) values[i] = getAttribute(names[i]);
    return;
  }
  for (int i = 0; i < count; ++i) {
    values[i] = nullptr;
    lengths[i] = std::strlen(names[i]);
  }
  // Lengths first: the names a reader asks for mostly differ in length.
  for (const Attribute& attribute : attributes_) {
    for (int i = 0; i < count; ++i) {
      if (lengths[i] != attribute.nameLength || values[i] != nullptr ||
          std::memcmp(attribute.name, names[i], lengths[i]) != 0)
        continue;
      values[i] = attribute.value;
      break;
    }
  }
}

const char* XMLNode::ChildElement::getChildText(const char* name) const {
  for (const auto& [child, text] : childTexts_)
    if (sameName(child, name)) return text;
  return nullptr;
}

namespace {

// Visits the children that start at starts in text, whose bytes before limit are checked: each
// one's attributes, and the first texts of its own children.
// The check recorded only start tags it read whole, so each one is.
void visitChildren(char* text, char* limit, const kyto::xmlnode::WellFormedness& checked,
                   const std::vector<std::size_t>& starts, XMLNode::ChildVisitor visit,
                   void* context, XMLNode::ChildElement& element) {
  auto [attributes, texts] = XMLNode::ChildElement::partsOf(element);
  const bool decode = checked.references || checked.breaksInValues;
  std::vector<Found> found;
  for (const std::size_t start : starts) {
    char* end = readStartTag(text + start, attributes, decode);
    texts.clear();
    if (*end == '>') readChildren(end + 1, limit, texts, found);
    if (!visit(context, element)) return;
  }
}

}  // namespace

void XMLNode::forEachChildInFile(const char* path, int* error, const char* tag, const char* child,
                                 ChildVisitor visit, void* context) {
  const auto setError = [error](FileError value) {
    if (error != nullptr) *error = value;
  };
  setError(kFileUnreadable);
  if (path == nullptr || tag == nullptr || child == nullptr) return;
  try {
    kyto::xmlnode::XmlInput input = kyto::xmlnode::readXmlFile(path);
    if (input.status != InputStatus::kRead) {
      // The same classes, and errno, as a parse for a tree gives.
      openFileHelper(path, error, tag);
      return;
    }
    kyto::xmlnode::ChildElements children{tag, child, false, {}};
    const kyto::xmlnode::WellFormedness checked =
        kyto::xmlnode::checkWellFormed(input.text.view(), false, &children);
    if (!checked.wellFormed) return setError(kFileMalformed);
    if (!children.parentFound) return setError(kFileTagMissing);
    setError(kFileParsed);
    char* text = input.text.data();
    text[input.text.size()] = '\0';
    ChildElement element;
    visitChildren(text, text + input.text.size(), checked, children.starts, visit, context,
                  element);
  } catch (const std::bad_alloc&) {
    setError(kFileBeyondLimits);
    errno = ENOMEM;
  }
}

namespace {

// Walks a UTF-8 text in place, keeping what comes before its first problem.
bool walkText(char* data, std::size_t size, const char* tag, const char* child,
              XMLNode::ChildVisitor visit, void* context) {
  kyto::xmlnode::ChildElements children{tag, child, false, {}};
  // The agent's output keeps its bytes, and what comes before its first problem counts.
  const kyto::xmlnode::WellFormedness checked =
      kyto::xmlnode::checkWellFormed(std::string_view(data, size), true, &children);
  if (!children.parentFound) return false;
  data[checked.offset] = '\0';
  XMLNode::ChildElement element;
  visitChildren(data, data + checked.offset, checked, children.starts, visit, context, element);
  return true;
}

}  // namespace

bool XMLNode::forEachChildInText(char* text, std::size_t size, const char* tag, const char* child,
                                 ChildVisitor visit, void* context) {
  if (text == nullptr || tag == nullptr || child == nullptr) return false;
  try {
    std::size_t bomBytes = 0;
    const std::string encoding = kyto::xmlnode::encodingOf(std::string_view(text, size), &bomBytes);
    if (encoding.empty())
      return walkText(text + bomBytes, size - bomBytes, tag, child, visit, context);
    kyto::xmlnode::XmlInput input =
        kyto::xmlnode::convertToUtf8(std::string_view(text + bomBytes, size - bomBytes), encoding);
    if (input.status != InputStatus::kRead) return false;
    return walkText(input.text.data(), input.text.size(), tag, child, visit, context);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool XMLNode::forEachChildInText(const char* text, const char* tag, const char* child,
                                 ChildVisitor visit, void* context) {
  if (text == nullptr) return false;
  kyto::xmlnode::XmlBytes copy = kyto::xmlnode::XmlBytes::copyOf(text);
  if (copy.empty()) return false;
  return forEachChildInText(copy.data(), copy.size(), tag, child, visit, context);
}
