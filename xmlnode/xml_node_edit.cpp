// Changing a tree: attributes, new children, and freeing subtrees.
#include <string_view>

#include "xml_node.h"
#include "xml_tree.h"

using kyto::xmlnode::firstChildOf;
using kyto::xmlnode::isDocument;
using kyto::xmlnode::isElementNamed;

namespace {

const xmlChar* asXml(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

// Sets one field of the XML declaration, which a document keeps as its own strings.
void replaceDeclarationField(const xmlChar*& field, const char* value) {
  xmlChar* copy = value != nullptr ? xmlStrdup(asXml(value)) : nullptr;
  if (value != nullptr && copy == nullptr) return;
  xmlFree(const_cast<xmlChar*>(field));
  field = copy;
}

void setDeclarationAttribute(xmlDocPtr doc, std::string_view name, const char* value) {
  if (name == "version") replaceDeclarationField(doc->version, value);
  if (name == "encoding") replaceDeclarationField(doc->encoding, value);
}

// The element child at this position among element children, or null past the last one.
xmlNodePtr elementAt(void* parent, int position) {
  for (xmlNodePtr child = firstChildOf(parent); child != nullptr; child = child->next) {
    if (isElementNamed(child, nullptr) && position-- == 0) return child;
  }
  return nullptr;
}

}  // namespace

void XMLNode::addAttribute(const char* name, const char* value) {
  if (liveTree() == nullptr || name == nullptr) return;
  if (isDocument(node_)) {
    setDeclarationAttribute(static_cast<xmlDocPtr>(node_), name, value);
    return;
  }
  // xmlNewProp stores the value as plain text (no entity parsing) after the existing attributes.
  xmlNewProp(static_cast<xmlNodePtr>(node_), asXml(name), asXml(value != nullptr ? value : ""));
}

XMLNode XMLNode::addChild(const char* name, int /*isDeclaration*/, int position) {
  Tree* tree = liveTree();
  if (tree == nullptr || name == nullptr) return {};
  xmlNodePtr child = xmlNewDocNode(tree->doc, nullptr, asXml(name), nullptr);
  if (child == nullptr) return {};
  tree->changed();
  xmlNodePtr before = position >= 0 ? elementAt(node_, position) : nullptr;
  xmlNodePtr added = before != nullptr ? xmlAddPrevSibling(before, child)
                                       : xmlAddChild(static_cast<xmlNodePtr>(node_), child);
  if (added == nullptr) {
    xmlFreeNode(child);
    return {};
  }
  return XMLNode(tree_, added);
}

void XMLNode::deleteNodeContent() {
  Tree* tree = liveTree();
  if (tree != nullptr) {
    tree->changed();
    if (isDocument(node_)) {
      xmlFreeDoc(tree->doc);
      tree->doc = nullptr;
    } else {
      const auto node = static_cast<xmlNodePtr>(node_);
      xmlUnlinkNode(node);
      xmlFreeNode(node);
    }
  }
  tree_.reset();
  node_ = nullptr;
}
