#include "attribute_listing.h"

#include <cstdio>

#include "common/appliance_paths.h"
#include "hex_text.h"
#include "tree_file.h"
#include "tree_sections.h"

namespace kyto::treeshaper {

namespace {

// Elements lacking an ID or a NAME, whitespace and comments print nothing.
void printAttribute(const xmlNode* node) {
  const XmlStringHandle id = attributeValue(node, "ID");
  const XmlStringHandle name = attributeValue(node, "NAME");
  if (id == nullptr || name == nullptr) return;
  const char* idText = reinterpret_cast<const char*>(id.get());
  std::printf("%d %s\n", hexTextToInt(idText), reinterpret_cast<const char*>(name.get()));
}

}  // namespace

void showTreeAttributes(const std::string& fileName, const std::string& type) {
  const XmlDocHandle doc = openTreeFile(fileName);
  const xmlNode* root = getTreeRoot(doc.get());
  if (root == nullptr) return;

  const xmlNode* section = findFirstSection(root, type);
  if (section == nullptr || section->children == nullptr) {
    std::puts("File did not contain the nodes we need");
    return;
  }
  for (const xmlNode* node = section->children; node != nullptr; node = node->next) {
    printAttribute(node);
  }
}

void listTreeAttributes(const std::string& type) {
  showTreeAttributes(paths::kTreeTemplateName, type);
}

}  // namespace kyto::treeshaper
