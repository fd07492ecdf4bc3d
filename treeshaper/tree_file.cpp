#include "tree_file.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <unistd.h>

#include <cstdio>

#include "common/appliance_paths.h"
#include "common/bounded_parse.h"

namespace kyto::treeshaper {

std::string resolveTreePath(const std::string& fileName) {
  std::string path = fileName.starts_with('/') ? std::string() : paths::appliancePaths().treeDir;
  path += fileName;
  if (path.size() > kMaxTreePathLength) path.resize(kMaxTreePathLength);
  return path;
}

XmlDocHandle openTreeFile(const std::string& fileName) {
  const std::string path = resolveTreePath(fileName);
  // libxml2's default settings and messages, as xmlParseFile has them, within the markup limits.
  const xml::ParseResult parsed = xml::parseFileWithinLimits(path.c_str(), 0);
  if (parsed.outcome == xml::ParseOutcome::kUnreadable) {
    xmlGenericError(xmlGenericErrorContext, "I/O warning : failed to load external entity \"%s\"\n",
                    path.c_str());
  } else if (parsed.outcome == xml::ParseOutcome::kBeyondLimits) {
    xmlGenericError(xmlGenericErrorContext, "%s: refused: %s\n", path.c_str(),
                    xml::describeBreach(parsed.breach));
  }
  XmlDocHandle doc(parsed.doc);
  if (doc == nullptr) std::puts("pdoc is NULL");
  return doc;
}

xmlNode* getTreeRoot(xmlDoc* doc) {
  xmlNode* root = doc != nullptr ? xmlDocGetRootElement(doc) : nullptr;
  if (root == nullptr) std::puts("proot is NULL");
  return root;
}

int treeFileExists(const std::string& fileName) {
  return access(resolveTreePath(fileName).c_str(), F_OK) == 0 ? 0 : -1;
}

}  // namespace kyto::treeshaper
