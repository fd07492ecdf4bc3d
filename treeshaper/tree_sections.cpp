#include "tree_sections.h"

namespace kyto::treeshaper {

bool hasSectionName(const xmlNode* node, const std::string& name) {
  const XmlStringHandle value = attributeValue(node, "NAME");
  return value != nullptr &&
         xmlStrEqual(value.get(), reinterpret_cast<const xmlChar*>(name.c_str())) != 0;
}

xmlNode* findFirstSection(const xmlNode* root, const std::string& name) {
  for (xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (hasSectionName(child, name)) return child;
  }
  return nullptr;
}

xmlNode* findLastSection(const xmlNode* root, const std::string& name) {
  xmlNode* found = nullptr;
  for (xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (hasSectionName(child, name)) found = child;
  }
  return found;
}

}  // namespace kyto::treeshaper
