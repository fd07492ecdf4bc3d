// Writing a tree: the text of a document or an element, and the file that holds it.
//
// The text is laid out as the stored files have always been written: the declaration on a line
// of its own, then one element per line indented by two spaces per level, "<NAME/>" for an empty
// element, attribute values between double quotes with '&', '<', '>', '"', tab, newline and
// carriage return written as references, and an element that holds text written on one line
// with everything in it.
#include <cerrno>
#include <new>
#include <string>
#include <string_view>

#include "common/atomic_file.h"
#include "xml_node.h"
#include "xml_tree.h"

using kyto::xmlnode::nodeOf;

namespace {

constexpr std::string_view kIndent = "  ";

void appendEscaped(std::string& out, std::string_view text, bool attribute) {
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* reference = nullptr;
    switch (text[i]) {
      case '&':
        reference = "&amp;";
        break;
      case '<':
        reference = "&lt;";
        break;
      case '>':
        reference = "&gt;";
        break;
      case '\r':
        reference = "&#13;";
        break;
      case '"':
        reference = attribute ? "&quot;" : nullptr;
        break;
      case '\n':
        reference = attribute ? "&#10;" : nullptr;
        break;
      case '\t':
        reference = attribute ? "&#9;" : nullptr;
        break;
      default:
        break;
    }
    if (reference == nullptr) continue;
    out.append(text, plain, i - plain).append(reference);
    plain = i + 1;
  }
  out.append(text, plain);
}

bool holdsText(const pugi::xml_node& element) {
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return true;
  }
  return false;
}

void appendStartTag(std::string& out, const pugi::xml_node& element) {
  out.append("<").append(element.name());
  for (const pugi::xml_attribute attribute : element.attributes()) {
    out.append(" ").append(attribute.name()).append("=\"");
    appendEscaped(out, attribute.value(), true);
    out.append("\"");
  }
}

void appendLeaf(std::string& out, const pugi::xml_node& node) {
  switch (node.type()) {
    case pugi::node_pcdata:
      appendEscaped(out, node.value(), false);
      break;
    case pugi::node_cdata:
      out.append("<![CDATA[").append(node.value()).append("]]>");
      break;
    case pugi::node_comment:
      out.append("<!--").append(node.value()).append("-->");
      break;
    case pugi::node_pi:
      out.append("<?").append(node.name());
      if (*node.value() != '\0') out.append(" ").append(node.value());
      out.append("?>");
      break;
    case pugi::node_doctype:
      out.append("<!DOCTYPE ").append(node.value()).append(">");
      break;
    default:
      break;  // the declaration is written apart
  }
}

// One node and everything below it, without recursion: a tree of any depth is written. Each
// element's children are on lines of their own, one level deeper, unless it holds text, which
// puts it and all in it on one line.
void appendTree(std::string& out, const pugi::xml_node& top, bool format) {
  struct Open {
    pugi::xml_node element;
    bool formatted;  // its children are on lines of their own
  };
  std::vector<Open> open;
  pugi::xml_node node = top;
  for (;;) {
    const bool formatted = open.empty() ? format : open.back().formatted;
    if (formatted) {
      if (!open.empty()) out.append("\n");
      for (std::size_t level = 0; level < open.size(); ++level) out.append(kIndent);
    }
    if (node.type() != pugi::node_element) {
      appendLeaf(out, node);
    } else {
      appendStartTag(out, node);
      if (node.first_child()) {
        out.append(">");
        open.push_back({node, formatted && !holdsText(node)});
        node = node.first_child();
        continue;
      }
      out.append("/>");
    }
    // Up to the next node to write, closing what ends on the way.
    while (!open.empty() && !node.next_sibling()) {
      const Open ended = open.back();
      open.pop_back();
      if (ended.formatted) {
        out.append("\n");
        for (std::size_t level = 0; level < open.size(); ++level) out.append(kIndent);
      }
      out.append("</").append(ended.element.name()).append(">");
      node = ended.element;
    }
    if (open.empty()) return;
    node = node.next_sibling();
  }
}

std::string declarationOf(const pugi::xml_node& document) {
  const pugi::xml_node first = document.first_child();
  const char* version = "1.0";
  if (first.type() == pugi::node_declaration && *first.attribute("version").value() != '\0')
    version = first.attribute("version").value();
  // The file is always UTF-8, whatever the document was read from.
  return std::string("<?xml version=\"") + version + "\" encoding=\"UTF-8\"?>\n";
}

}  // namespace

std::string XMLNode::createXMLString(int format) const {
  if (liveTree() == nullptr) return {};
  const pugi::xml_node node = nodeOf(node_);
  if (node.type() != pugi::node_document) {
    std::string out = declarationOf(pugi::xml_node());
    appendTree(out, node, format != 0);
    return out.append("\n");
  }
  // A document is written about as long as it was read: reserved at once, a big list is not
  // copied again at every doubling of its text.
  std::string out;
  out.reserve(liveTree()->parsedBytes + 4096);
  out += declarationOf(node);
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_declaration) continue;
    appendTree(out, child, format != 0);
    out.append("\n");
  }
  return out;
}

int XMLNode::writeToFile(const char* path, const char* /*encoding*/, int format) const {
  if (liveTree() == nullptr || path == nullptr) return EINVAL;
  try {
    return kyto::replaceFileAtomically(path, createXMLString(format));
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}
