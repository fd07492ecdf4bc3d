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

std::string joinValueParts(const xmlAttr* attribute) {
  const auto asText = [](const xmlChar* text) { return reinterpret_cast<const char*>(text); };
  std::string value;
  for (const xmlNode* part = attribute->children; part != nullptr; part = part->next) {
    if (part->type == XML_ENTITY_REF_NODE) {
      value.append("&").append(asText(part->name)).append(";");
    } else if (part->content != nullptr) {
      value.append(asText(part->content));
    }
  }
  return value;
}

}  // namespace kyto::xmlnode
