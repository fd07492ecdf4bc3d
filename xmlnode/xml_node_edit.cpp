// Changing a tree: attributes, new children, and freeing subtrees.
#include "xml_node.h"
#include "xml_tree.h"

using kyto::xmlnode::isElementNamed;
using kyto::xmlnode::nodeOf;

namespace {

// The declaration of a document, made when it has none.
pugi::xml_node declarationOf(pugi::xml_node document) {
  pugi::xml_node first = document.first_child();
  if (first.type() == pugi::node_declaration) return first;
  return document.prepend_child(pugi::node_declaration);
}

// The element child at this position among element children, or none past the last one.
pugi::xml_node elementAt(pugi::xml_node parent, int position) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (isElementNamed(child, nullptr) && position-- == 0) return child;
  }
  return {};
}

}  // namespace

void XMLNode::addAttribute(const char* name, const char* value) {
  if (liveTree() == nullptr || name == nullptr) return;
  pugi::xml_node node = nodeOf(node_);
  if (node.type() == pugi::node_document) node = declarationOf(node);
  pugi::xml_attribute attribute = node.append_attribute(name);
  if (attribute) attribute.set_value(value != nullptr ? value : "");
}

XMLNode XMLNode::addChild(const char* name, int /*isDeclaration*/, int position) {
  Tree* tree = liveTree();
  if (tree == nullptr || name == nullptr) return {};
  pugi::xml_node parent = nodeOf(node_);
  const pugi::xml_node before = position >= 0 ? elementAt(parent, position) : pugi::xml_node();
  pugi::xml_node child =
      before ? parent.insert_child_before(name, before) : parent.append_child(name);
  if (!child) return {};
  tree->changed();
  return XMLNode(tree_, child.internal_object());
}

void XMLNode::deleteNodeContent() {
  Tree* tree = liveTree();
  if (tree != nullptr) {
    tree->changed();
    pugi::xml_node node = nodeOf(node_);
    if (node.type() == pugi::node_document) {
      tree->doc.reset();
      tree->alive = false;
    } else {
      node.parent().remove_child(node);
    }
  }
  tree_.reset();
  node_ = nullptr;
}
