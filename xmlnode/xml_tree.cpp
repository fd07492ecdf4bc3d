#include "xml_tree.h"

namespace kyto::xmlnode {

xmlNodePtr findFirstElement(xmlNodePtr first, const char* name) {
  if (first == nullptr) return nullptr;
  // Iterative pre-order walk over first, its following siblings and everything below them.
  const xmlNode* const top = first->parent;
  xmlNodePtr node = first;
  while (node != nullptr) {
    if (isElementNamed(node, name)) return node;
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
      node = node->children;
      continue;
    }
    while (node->next == nullptr) {
      node = node->parent;
      if (node == nullptr || node == top) return nullptr;
    }
    node = node->next;
  }
  return nullptr;
}

}  // namespace kyto::xmlnode
