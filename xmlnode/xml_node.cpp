// The tree's operations: reading its children, names, attributes, text and lines, and changing
// it (attributes, new children, freeing subtrees).
#include <algorithm>
#include <cstring>
#include <new>

#include "xml_node.h"
#include "xml_tree.h"

using kyto::xmlnode::isElementNamed;
using kyto::xmlnode::nodeOf;

namespace {

// The declaration node of a document, or none.
pugi::xml_node declarationOf(pugi::xml_node document) {
  const pugi::xml_node first = document.first_child();
  return first.type() == pugi::node_declaration ? first : pugi::xml_node();
}

// Names are short and mostly differ early: compared inline, without a call.
bool sameName(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace

XMLNode::Tree* XMLNode::liveTree() const {
  if (node_ == nullptr || tree_ == nullptr || !tree_->alive) return nullptr;
  return tree_.get();
}

int XMLNode::nChildNode(const char* name) const {
  if (liveTree() == nullptr) return 0;
  int count = 0;
  for (pugi::xml_node child = nodeOf(node_).first_child(); child; child = child.next_sibling()) {
    if (isElementNamed(child, name)) ++count;
  }
  return count;
}

XMLNode XMLNode::getChildNode(const char* name, int index) const {
  Tree* tree = liveTree();
  if (tree == nullptr || index < 0) return {};
  const auto known = tree->cursors.find(node_);
  const auto leadsHere = [&](const Tree::ChildCursor& cursor) {
    if (cursor.index > index || cursor.anyName != (name == nullptr)) return false;
    return name == nullptr || isElementNamed(pugi::xml_node(cursor.node), name);
  };
  const bool resume = known != tree->cursors.end() && leadsHere(known->second);
  pugi::xml_node child = resume ? pugi::xml_node(known->second.node) : nodeOf(node_).first_child();
  int position = resume ? known->second.index : 0;
  for (; child; child = child.next_sibling()) {
    if (!isElementNamed(child, name)) continue;
    if (position == index) break;
    ++position;
  }
  if (!child) return {};
  const Tree::ChildCursor reached{child.internal_object(), index, name == nullptr};
  if (known != tree->cursors.end()) {
    known->second = reached;
  } else if (index > 0) {
    // A first child is found as fast from the start, so only walks past it are remembered.
    try {
      tree->cursors.emplace(node_, reached);
    } catch (const std::bad_alloc&) {
      // Only the shortcut is lost.
    }
  }
  return XMLNode(tree_, child.internal_object());
}

XMLNode XMLNode::getChildNode(const char* name, int* position) const {
  if (position == nullptr) return getChildNode(name, 0);
  // With a position word: that child, and the word moves on to the next one.
  return getChildNode(name, (*position)++);
}

const char* XMLNode::getName() const {
  if (liveTree() == nullptr) return nullptr;
  const pugi::xml_node node = nodeOf(node_);
  return node.type() == pugi::node_element ? node.name() : nullptr;
}

const char* XMLNode::getAttribute(const char* name, int* /*position*/) const {
  if (liveTree() == nullptr || name == nullptr) return nullptr;
  pugi::xml_node node = nodeOf(node_);
  // The declaration's attributes of a document top.
  if (node.type() == pugi::node_document) node = declarationOf(node);
  for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    if (sameName(attribute.name(), name)) return attribute.value();
  }
  return nullptr;
}

void XMLNode::getAttributes(const char* const* names, const char** values, int count) const {
  for (int i = 0; i < count; ++i) values[i] = nullptr;
  if (getName() == nullptr) return;
  int left = count;
  for (pugi::xml_attribute attribute = nodeOf(node_).first_attribute(); attribute && left > 0;
       attribute = attribute.next_attribute()) {
    const char* candidate = attribute.name();
    for (int i = 0; i < count; ++i) {
      if (values[i] != nullptr || !sameName(candidate, names[i])) continue;
      values[i] = attribute.value();
      --left;
      break;
    }
  }
}

std::vector<std::pair<const char*, const char*>> XMLNode::getAttributes() const {
  std::vector<std::pair<const char*, const char*>> attributes;
  if (getName() == nullptr) return attributes;
  for (const pugi::xml_attribute attribute : nodeOf(node_).attributes())
    attributes.emplace_back(attribute.name(), attribute.value());
  return attributes;
}

const char* XMLNode::getText(int index) const {
  if (getName() == nullptr || index < 0) return nullptr;
  for (pugi::xml_node child = nodeOf(node_).first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_pcdata && child.type() != pugi::node_cdata) continue;
    if (index-- == 0) return child.value();
  }
  return nullptr;
}

long XMLNode::getLine() const {
  const Tree* tree = liveTree();
  if (tree == nullptr || !tree->linesKept) return 0;
  const std::ptrdiff_t offset = nodeOf(node_).offset_debug();
  if (offset < 0 || getName() == nullptr) return 0;
  const auto& newlines = tree->newlines;
  return 1 + (std::lower_bound(newlines.begin(), newlines.end(), static_cast<std::size_t>(offset)) -
              newlines.begin());
}

// ---- changing a tree

namespace {

// The declaration of a document, made when it has none.
pugi::xml_node declarationMadeIn(pugi::xml_node document) {
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
  if (node.type() == pugi::node_document) node = declarationMadeIn(node);
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
