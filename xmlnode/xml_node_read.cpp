// Reading a tree: children, attributes and text.
#include <new>
#include <string>
#include <string_view>

#include "xml_node.h"
#include "xml_tree.h"

using kyto::xmlnode::firstChildOf;
using kyto::xmlnode::hasName;
using kyto::xmlnode::isDocument;
using kyto::xmlnode::isElementNamed;
using kyto::xmlnode::joinValueParts;

namespace {

const char* asText(const xmlChar* text) {
  return reinterpret_cast<const char*>(text);
}

// A parsed tree lies in memory in the order the parser made it: an element, then its attributes
// and their texts, then the next element. A large document is long out of the cache by the time
// it is walked, and reading an element's attributes one after the other would wait for one miss
// after another; asking for the bytes that follow a found element all at once lets those misses
// overlap. A prefetch never faults, so a tree laid out otherwise costs only the asking.
constexpr int kElementPrefetchBytes = 2048;

void prefetchElement(const xmlNode* element) {
  const auto* bytes = reinterpret_cast<const char*>(element);
  for (int offset = 0; offset < kElementPrefetchBytes; offset += 64)
    __builtin_prefetch(bytes + offset);
}

}  // namespace

XMLNode::Tree* XMLNode::liveTree() const {
  if (node_ == nullptr || tree_ == nullptr || tree_->doc == nullptr) return nullptr;
  return tree_.get();
}

xmlNodePtr XMLNode::element() const {
  if (liveTree() == nullptr || isDocument(node_)) return nullptr;
  return static_cast<xmlNodePtr>(node_);
}

int XMLNode::nChildNode(const char* name) const {
  if (liveTree() == nullptr) return 0;
  int count = 0;
  for (xmlNodePtr child = firstChildOf(node_); child != nullptr; child = child->next) {
    if (isElementNamed(child, name)) ++count;
  }
  return count;
}

XMLNode XMLNode::getChildNode(const char* name, int index) const {
  Tree* tree = liveTree();
  if (tree == nullptr || index < 0) return {};
  const auto known = tree->cursors.find(node_);
  const bool resume = known != tree->cursors.end() && known->second.leadsTo(name, index);
  xmlNodePtr child = resume ? known->second.node : firstChildOf(node_);
  int position = resume ? known->second.index : 0;
  for (; child != nullptr; child = child->next) {
    if (!isElementNamed(child, name)) continue;
    if (position == index) break;
    ++position;
  }
  if (child == nullptr) return {};
  prefetchElement(child);
  const Tree::ChildCursor reached{child, index, name == nullptr};
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
  return XMLNode(tree_, child);
}

XMLNode XMLNode::getChildNode(const char* name, int* position) const {
  if (position == nullptr) return getChildNode(name, 0);
  // With a position word: that child, and the word moves on to the next one.
  return getChildNode(name, (*position)++);
}

const char* XMLNode::getAttribute(const char* name, int* /*position*/) const {
  Tree* tree = liveTree();
  if (tree == nullptr || name == nullptr) return nullptr;
  if (isDocument(node_)) {
    // The declaration's attributes of a document top.
    const auto doc = static_cast<xmlDocPtr>(node_);
    if (std::string_view(name) == "version") return asText(doc->version);
    if (std::string_view(name) == "encoding") return asText(doc->encoding);
    return nullptr;
  }
  for (xmlAttrPtr attribute = static_cast<xmlNodePtr>(node_)->properties; attribute != nullptr;
       attribute = attribute->next) {
    if (!hasName(attribute->name, name)) continue;
    const xmlNode* part = attribute->children;
    if (part == nullptr) return "";
    if (part->next == nullptr && part->type == XML_TEXT_NODE)
      return part->content != nullptr ? asText(part->content) : "";
    try {
      return tree->joinedValues.emplace_back(joinValueParts(attribute)).c_str();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return nullptr;
}

const char* XMLNode::getText(int index) const {
  xmlNodePtr node = element();
  if (node == nullptr || index < 0) return nullptr;
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
    if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) continue;
    if (index-- == 0) return asText(child->content);
  }
  return nullptr;
}
