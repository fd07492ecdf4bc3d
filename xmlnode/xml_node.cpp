// The tree's operations: parsing files and texts into it, reading its children, names,
// attributes, texts and lines, and changing it.
#include "xml_node.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "xml_source.h"
#include "xml_tree.h"

using Node = XMLNode::Node;
using Kind = XMLNode::Node::Kind;
using kyto::xml::isElementNamed;

const XMLNode XMLNode::emptyXMLNode{};

namespace {

// The first element child of node at or after child with this name.
Node* elementFrom(Node* child, const char* name) {
  while (child != nullptr && !isElementNamed(child, name)) child = child->next;
  return child;
}

}  // namespace

XMLNode::Tree* XMLNode::liveTree() const {
  if (node_ == nullptr || tree_ == nullptr || !tree_->alive) return nullptr;
  return tree_.get();
}

XMLNode XMLNode::handleTo(Node* node) const {
  return node != nullptr ? XMLNode(tree_, node) : XMLNode();
}

// ---- building

XMLNode XMLNode::openFile(const char* path, FileReport& report, bool keepLines) {
  report = FileReport{};
  if (path == nullptr) return {};
  try {
    std::shared_ptr<Tree> tree = kyto::xml::buildFileTree(path, keepLines, report);
    if (tree != nullptr) return XMLNode(tree, &tree->document);
  } catch (const std::bad_alloc&) {
    report = kyto::xml::memoryRanOut();
  }
  report.diagnostic = kyto::xml::diagnosticOf(path, report);
  return {};
}

XMLNode XMLNode::parseDocument(std::string_view bytes, FileReport& report) {
  report = FileReport{};
  try {
    std::shared_ptr<Tree> tree = kyto::xml::buildTree(bytes, false, report);
    return tree != nullptr ? XMLNode(tree, &tree->document) : XMLNode();
  } catch (const std::bad_alloc&) {
    report = kyto::xml::memoryRanOut();
    return {};
  }
}

XMLNode XMLNode::openFileHelper(const char* path, int* error, const char* tag,
                                std::string* diagnostic) {
  FileReport report;
  XMLNode top = openFile(path, report);
  if (diagnostic != nullptr) *diagnostic = std::move(report.diagnostic);
  XMLNode found = tag == nullptr || top.isEmpty() ? top : top.findElement(tag);
  if (tag != nullptr && !top.isEmpty() && found.isEmpty()) report.error = kFileTagMissing;
  if (error != nullptr) *error = report.error;
  if (const int why = report.errorNumber(); why != 0) errno = why;
  return found;
}

XMLNode XMLNode::parseString(const char* text, const char* tag) {
  if (text == nullptr) return {};
  try {
    FileReport report;
    std::shared_ptr<Tree> tree = kyto::xml::buildTree(text, true, report);
    if (tree == nullptr) return {};
    XMLNode top(tree, &tree->document);
    return tag == nullptr ? top : top.findElement(tag);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

XMLNode XMLNode::createXMLTopNode(const char* name, bool isDeclaration) {
  if (!isDeclaration && name == nullptr) return {};
  try {
    auto tree = std::make_shared<Tree>();
    XMLNode top(tree, &tree->document);
    return isDeclaration ? top : top.addChild(name);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

// ---- reading

int XMLNode::nChildNode(const char* name) const {
  if (liveTree() == nullptr) return 0;
  int count = 0;
  for (Node* child = elementFrom(node_->firstChild, name); child != nullptr;
       child = elementFrom(child->next, name))
    ++count;
  return count;
}

XMLNode XMLNode::getChildNode(const char* name) const {
  if (liveTree() == nullptr) return {};
  return handleTo(elementFrom(node_->firstChild, name));
}

XMLNode XMLNode::getChildNode(const char* name, int index) const {
  XMLNode child = getChildNode(name);
  for (; index > 0 && !child.isEmpty(); --index) child = child.nextSibling(name);
  return index < 0 ? XMLNode() : child;
}

XMLNode XMLNode::nextSibling(const char* name) const {
  if (liveTree() == nullptr) return {};
  return handleTo(elementFrom(node_->next, name));
}

XMLNode XMLNode::findElement(const char* name) const {
  if (liveTree() == nullptr || name == nullptr) return {};
  // Pre-order, without recursion: a tree of any depth is searched.
  for (Node* node = node_->firstChild; node != nullptr;) {
    if (isElementNamed(node, name)) return handleTo(node);
    if (node->firstChild != nullptr) {
      node = node->firstChild;
      continue;
    }
    while (node != node_ && node->next == nullptr) node = node->parent;
    node = node == node_ ? nullptr : node->next;
  }
  return {};
}

const char* XMLNode::getName() const {
  if (liveTree() == nullptr || node_->kind != Kind::kElement) return nullptr;
  return node_->name;
}

const char* XMLNode::getAttribute(const char* name) const {
  if (liveTree() == nullptr || name == nullptr) return nullptr;
  for (const Node::Attribute* a = node_->firstAttribute; a != nullptr; a = a->next)
    if (std::strcmp(a->name, name) == 0) return a->value;
  return nullptr;
}

std::vector<std::pair<const char*, const char*>> XMLNode::getAttributes() const {
  std::vector<std::pair<const char*, const char*>> attributes;
  if (getName() == nullptr) return attributes;
  for (const Node::Attribute* a = node_->firstAttribute; a != nullptr; a = a->next)
    attributes.emplace_back(a->name, a->value);
  return attributes;
}

const char* XMLNode::getText(int index) const {
  if (getName() == nullptr || index < 0) return nullptr;
  for (const Node* child = node_->firstChild; child != nullptr; child = child->next) {
    const bool isText =
        (child->kind == Kind::kText && !child->whiteOnly) || child->kind == Kind::kCData;
    if (isText && index-- == 0) return child->value;
  }
  return nullptr;
}

long XMLNode::getLine() const {
  const Tree* tree = liveTree();
  return tree != nullptr && tree->linesKept ? node_->line : 0;
}

// ---- changing

void XMLNode::addAttribute(const char* name, const char* value) {
  Tree* tree = liveTree();
  if (tree == nullptr || name == nullptr) return;
  try {
    tree->addAttribute(node_, name, value != nullptr ? value : "", true);
  } catch (const std::bad_alloc&) {
    // The attribute is missing, as any that could not be added.
  }
}

XMLNode XMLNode::addChild(const char* name) {
  Tree* tree = liveTree();
  if (tree == nullptr || name == nullptr) return {};
  try {
    Node* child = tree->newNode(Kind::kElement);
    child->name = tree->copy(name);
    tree->append(node_, child);
    return handleTo(child);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

void XMLNode::deleteNodeContent() {
  if (Tree* tree = liveTree(); tree != nullptr) {
    if (node_ == &tree->document) {
      tree->alive = false;
    } else {
      Tree::unlink(node_);
    }
  }
  tree_.reset();
  node_ = nullptr;
}
