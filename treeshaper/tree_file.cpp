#include "tree_file.h"

#include <cerrno>
#include <cstdio>

#include "common/appliance_paths.h"
#include "common/descriptors.h"
#include "common/missing_appliance.h"
#include "libxml2_parse.h"

namespace kyto::treeshaper {

std::optional<std::string> resolveTreePath(const std::string& fileName) {
  std::string path = fileName.starts_with('/') ? std::string() : paths::appliancePaths().treeDir;
  path += fileName;
  if (path.size() > kMaxTreePathLength) return std::nullopt;
  return path;
}

std::optional<std::string> treePathOrComplaint(const std::string& fileName) {
  std::optional<std::string> path = resolveTreePath(fileName);
  if (!path) complain("file path is too long");
  return path;
}

void complain(const std::string& line) {
  std::fputs(line.c_str(), stderr);
  std::fputc('\n', stderr);
}

namespace {

// Off the appliance the whole tree directory is missing, and with it every file in it: after
// the line that names the file, say how to point treeshaper at a staged root.
void complainOfMissingTreeDirectory(const std::string& path, int readError) {
  const std::string& dir = paths::appliancePaths().treeDir;
  if (readError == ENOENT && path.starts_with(dir))
    std::fputs(missingApplianceHint("treeshaper", dir).c_str(), stderr);
}

xml::XmlDocHandle reported(const xml::XmlFileParse& parse, const std::string& path) {
  xml::XmlDocHandle doc(parse.doc);
  if (doc != nullptr) {
    for (const std::string& warning : parse.warnings) complain(warning);
  } else {
    complain(parse.diagnostic);
    complainOfMissingTreeDirectory(path, parse.readError);
    std::puts("pdoc is NULL");
  }
  return doc;
}

}  // namespace

xml::XmlDocHandle openTreeFile(const std::string& path) {
  return reported(xml::parseXmlFile(path, 0), path);
}

xml::XmlDocHandle openTreeFile(const WriteTarget& target) {
  UniqueFd fd;
  if (const int error = openRegularFileAt(target.dir(), target.name(), fd); error != 0) {
    xml::XmlFileParse unread;
    unread.readError = error;
    unread.diagnostic = xml::fileProblem(target.path(), error);
    return reported(unread, target.path());
  }
  return reported(xml::parseXmlDescriptor(fd.get(), target.path(), 0), target.path());
}

xmlNode* getTreeRoot(xmlDoc* doc) {
  xmlNode* root = doc != nullptr ? xmlDocGetRootElement(doc) : nullptr;
  if (root == nullptr) std::puts("proot is NULL");
  return root;
}

bool hasSectionName(const xmlNode* node, const std::string& name) {
  const xml::XmlStringHandle value = xml::attributeValue(node, "NAME");
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
