#include "tree_file.h"

#include <unistd.h>

#include <cstdio>

#include "common/appliance_paths.h"
#include "common/xml_diagnostics.h"

namespace kyto::treeshaper {

std::optional<std::string> resolveTreePath(const std::string& fileName) {
  std::string path = fileName.starts_with('/') ? std::string() : paths::appliancePaths().treeDir;
  path += fileName;
  if (path.size() > kMaxTreePathLength) return std::nullopt;
  return path;
}

std::optional<std::string> treePathOrComplaint(const std::string& fileName) {
  std::optional<std::string> path = resolveTreePath(fileName);
  if (!path) std::puts("file path is too long");
  return path;
}

XmlDocHandle openTreeFile(const std::string& path) {
  XmlFileParse parse = parseXmlFile(path, 0);
  XmlDocHandle doc(parse.doc);
  if (doc == nullptr) {
    std::puts(parse.diagnostic.c_str());
    std::puts("pdoc is NULL");
  }
  return doc;
}

xmlNode* getTreeRoot(xmlDoc* doc) {
  xmlNode* root = doc != nullptr ? xmlDocGetRootElement(doc) : nullptr;
  if (root == nullptr) std::puts("proot is NULL");
  return root;
}

int treeFileExists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0 ? 0 : -1;
}

}  // namespace kyto::treeshaper
