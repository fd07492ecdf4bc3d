// Writing a tree: the text of a document, and the file that holds it.
//
// The layout is the one the stored files have always had: the declaration on a line of its own,
// then each node of the document on a line of its own, and the root's child nodes each on a line
// of its own indented by two spaces ("<NAME/>" for an empty element, attribute values between
// double quotes). Below that everything is written as it was read, white space included, so that
// every other entry keeps its meaning for any XML reader, and the text grows with the tree and not
// with its depth. A root that holds text of its own is written as read too.
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "common/atomic_file.h"
#include "common/large_pages.h"
#include "xml_node.h"
#include "xml_source.h"
#include "xml_stream.h"
#include "xml_tree.h"

using Node = XMLNode::Node;
using Kind = XMLNode::Node::Kind;

namespace kyto::xml {

namespace {

// The reference each byte is written as, or null for a byte written as it is: in character data,
// and in an attribute value, which also keeps its quotes and line breaks.
struct References {
  const char* text[256] = {};
  const char* value[256] = {};
};

constexpr References makeReferences() {
  References references;
  for (auto* table : {references.text, references.value}) {
    table[static_cast<unsigned char>('&')] = "&amp;";
    table[static_cast<unsigned char>('<')] = "&lt;";
    table[static_cast<unsigned char>('>')] = "&gt;";
    table[static_cast<unsigned char>('\r')] = "&#13;";
  }
  references.value[static_cast<unsigned char>('"')] = "&quot;";
  references.value[static_cast<unsigned char>('\n')] = "&#10;";
  references.value[static_cast<unsigned char>('\t')] = "&#9;";
  return references;
}

constexpr References kReferences = makeReferences();

}  // namespace

void appendEscaped(std::string& out, std::string_view text, bool inValue) {
  const char* const* table = inValue ? kReferences.value : kReferences.text;
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* reference = table[static_cast<unsigned char>(text[i])];
    if (reference == nullptr) continue;
    out.append(text, plain, i - plain).append(reference);
    plain = i + 1;
  }
  out.append(text, plain);
}

}  // namespace kyto::xml

namespace {

using kyto::xml::appendEscaped;

void appendStartTag(std::string& out, const Node* element) {
  out.append("<").append(element->name);
  for (const Node::Attribute* a = element->firstAttribute; a != nullptr; a = a->next) {
    if (!a->specified) continue;  // the document type that gave it is kept and gives it again
    out.append(" ").append(a->name).append("=\"");
    appendEscaped(out, std::string_view(a->value, a->valueLength), true);
    out.append("\"");
  }
}

// A CDATA section holds no reference, and a reader takes a CR in it for a line end: a CR, which
// only a reference in an entity can have put there, is written as a reference between sections.
void appendCData(std::string& out, std::string_view text) {
  out.append("<![CDATA[");
  for (std::size_t cr; (cr = text.find('\r')) != std::string_view::npos; text.remove_prefix(cr + 1))
    out.append(text.substr(0, cr)).append("]]>&#13;<![CDATA[");
  out.append(text).append("]]>");
}

void appendLeaf(std::string& out, const Node* node) {
  switch (node->kind) {
    case Kind::kText:
      appendEscaped(out, node->value, false);
      break;
    case Kind::kCData:
      appendCData(out, node->value);
      break;
    case Kind::kComment:
      out.append("<!--").append(node->value).append("-->");
      break;
    case Kind::kPi:
      out.append("<?").append(node->name);
      if (*node->value != '\0') out.append(" ").append(node->value);
      out.append("?>");
      break;
    case Kind::kDoctype:
    case Kind::kReference:
      out.append(node->value);
      break;
    case Kind::kDocument:
    case Kind::kElement:
      break;
  }
}

// A node and everything below it as it was read, without recursion: a tree of any depth.
void appendAsRead(std::string& out, const Node* top) {
  const Node* node = top;
  for (;;) {
    if (node->kind != Kind::kElement) {
      appendLeaf(out, node);
    } else {
      appendStartTag(out, node);
      if (node->firstChild != nullptr) {
        out.append(">");
        node = node->firstChild;
        continue;
      }
      out.append("/>");
    }
    // Up to the next node, closing what ends on the way.
    while (node != top && node->next == nullptr) {
      node = node->parent;
      out.append("</").append(node->name).append(">");
    }
    if (node == top) return;
    node = node->next;
  }
}

bool holdsText(const Node* element) {
  for (const Node* child = element->firstChild; child != nullptr; child = child->next) {
    const bool white = child->kind == Kind::kText && child->whiteOnly;
    if (!white && child->kind != Kind::kElement && child->kind != Kind::kComment &&
        child->kind != Kind::kPi)
      return true;
  }
  return false;
}

// The root: its child nodes one per line, white space between them left out.
void appendRoot(std::string& out, const Node* root) {
  if (holdsText(root)) return appendAsRead(out, root);
  appendStartTag(out, root);
  bool any = false;
  for (const Node* child = root->firstChild; child != nullptr; child = child->next) {
    if (child->kind == Kind::kText) continue;
    out.append(any ? "\n  " : ">\n  ");
    any = true;
    appendAsRead(out, child);
  }
  out.append(any ? std::string("\n</") + root->name + ">" : std::string("/>"));
}

void appendDeclaration(std::string& out, const XMLNode& top) {
  const char* version = top.getAttribute("version");
  const char* standalone = top.getAttribute("standalone");
  out.append("<?xml version=\"").append(version != nullptr && *version ? version : "1.0");
  // The file is always UTF-8, whatever the document was read from.
  out.append("\" encoding=\"UTF-8\"");
  if (standalone != nullptr) out.append(" standalone=\"").append(standalone).append("\"");
  out.append("?>\n");
}

}  // namespace

std::string XMLNode::createXMLString() const {
  if (liveTree() == nullptr) return {};
  try {
    std::string out;
    // About as long as what was read: reserved at once, a large list is not copied again at
    // every doubling of its text.
    out.reserve(liveTree()->readBytes + 4096);
    kyto::prefault(out.data(), out.capacity());
    if (node_->kind != Node::Kind::kDocument) {
      appendDeclaration(out, XMLNode());
      appendRoot(out, node_);
      return out.append("\n");
    }
    appendDeclaration(out, *this);
    for (const Node* child = node_->firstChild; child != nullptr; child = child->next) {
      if (child->kind == Kind::kElement) {
        appendRoot(out, child);
      } else {
        appendLeaf(out, child);
      }
      out.append("\n");
    }
    return out;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

int XMLNode::writeToFile(const char* path) const {
  if (liveTree() == nullptr || path == nullptr) return EINVAL;
  const std::string text = createXMLString();
  if (text.empty()) return ENOMEM;
  return kyto::replaceFileAtomically(path, text);
}

namespace {

// Reads back the one attribute value of a document.
class ValueReader final : public kyto::xml::ParserSetup {
 public:
  void setUp(XML_Parser parser) override {
    XML_SetUserData(parser, this);
    XML_SetStartElementHandler(parser, [](void* self, const XML_Char*, const XML_Char** a) {
      try {
        if (a[0] != nullptr) static_cast<ValueReader*>(self)->value = a[1];
      } catch (const std::bad_alloc&) {
      }
    });
  }
  std::string value;
};

// Finds the declarations that make a reader read an element's attributes otherwise than written.
class AttributeDeclarations final : public kyto::xml::ParserSetup {
 public:
  explicit AttributeDeclarations(const char* element) : element_(element) {}
  void setUp(XML_Parser parser) override {
    XML_SetUserData(parser, this);
    kyto::xml::readOwnDeclarations(parser);
    XML_SetAttlistDeclHandler(parser, [](void* self, const XML_Char* element, const XML_Char*,
                                         const XML_Char* type, const XML_Char* value, int) {
      auto* search = static_cast<AttributeDeclarations*>(self);
      if (std::strcmp(element, search->element_) == 0 &&
          (value != nullptr || std::strcmp(type, "CDATA") != 0))
        search->found = true;
    });
  }
  bool found = false;

 private:
  const char* element_;
};

}  // namespace

bool XMLNode::declaresAttributesOf(const char* element) const {
  const Tree* tree = liveTree();
  if (tree == nullptr || element == nullptr) return false;
  for (const Node* node = tree->document.firstChild; node != nullptr; node = node->next) {
    if (node->kind != Node::Kind::kDoctype) continue;
    try {
      AttributeDeclarations search(element);
      kyto::xml::XmlStream stream(search);
      stream.feed(std::string(node->value) + "<x/>", true);
      return search.found;
    } catch (const std::bad_alloc&) {
      return true;  // can't tell: as if it did
    }
  }
  return false;
}

bool XMLNode::documentTypeExpanded() const {
  const Tree* tree = liveTree();
  return tree != nullptr && tree->doctypeExpanded;
}

bool XMLNode::canHold(std::string_view text) {
  try {
    std::string document = "<a v=\"";
    appendEscaped(document, text, true);
    document += "\"/>";
    ValueReader reader;
    kyto::xml::XmlStream stream(reader);
    return stream.feed(document, true) && reader.value == text;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
