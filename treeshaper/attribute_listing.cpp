#include "attribute_listing.h"

#include <cstdio>

#include "attribute_ids.h"
#include "common/appliance_paths.h"
#include "common/safe_text.h"
#include "tree_file.h"

namespace kyto::treeshaper {

namespace {

// Elements lacking an ID or a NAME, whitespace and comments print nothing.
void printAttribute(const xmlNode* node) {
  const XmlStringHandle id = attributeValue(node, "ID");
  const XmlStringHandle name = attributeValue(node, "NAME");
  if (id == nullptr || name == nullptr) return;
  const char* idText = reinterpret_cast<const char*>(id.get());
  const std::string safeName = withoutControls(reinterpret_cast<const char*>(name.get()));
  std::printf("%d %s\n", hexTextToInt(idText), safeName.c_str());
}

}  // namespace

bool showTreeAttributes(const std::string& fileName, const std::string& type) {
  const std::optional<std::string> path = treePathOrComplaint(fileName);
  if (!path) return false;
  const XmlDocHandle doc = openTreeFile(*path);
  const xmlNode* root = getTreeRoot(doc.get());
  if (root == nullptr) return false;

  const xmlNode* section = findFirstSection(root, type);
  if (section == nullptr || section->children == nullptr) {
    std::puts("File did not contain the nodes we need");
    return false;
  }
  for (const xmlNode* node = section->children; node != nullptr; node = node->next) {
    printAttribute(node);
  }
  return true;
}

bool listTreeAttributes(const std::string& type) {
  return showTreeAttributes(paths::kTreeTemplateName, type);
}

}  // namespace kyto::treeshaper
