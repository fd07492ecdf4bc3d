#include "custom_tree.h"

#include <sys/stat.h>

#include <cstdio>

#include "common/appliance_paths.h"
#include "atomic_save.h"
#include "common/atomic_file.h"
#include "tree_file.h"
#include "tree_sections.h"

namespace kyto::treeshaper {

namespace {

const xmlChar* xmlText(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

// Every custom tree is rebuilt from the template, so writing over it would lose the removed
// attributes for good. The target is already resolved by the kernel, and comparing the files
// themselves also catches a hard link.
bool isTemplateFile(const std::string& target) {
  struct stat output {};
  struct stat templateFile {};
  return stat(target.c_str(), &output) == 0 &&
         stat(resolveTreePath(paths::kTreeTemplateName).c_str(), &templateFile) == 0 &&
         output.st_dev == templateFile.st_dev && output.st_ino == templateFile.st_ino;
}

// Whitespace, comments and elements without an ID always stay.
bool isKept(const xmlNode* node, const SelectedIds& selected) {
  if (xmlHasProp(node, xmlText("ID")) == nullptr) return true;
  const XmlStringHandle id = attributeValue(node, "ID");
  return id != nullptr && selected.contains(reinterpret_cast<const char*>(id.get()));
}

// The whitespace around a removed element stays where it was.
void filterSection(xmlNode* section, const AttributeIdList& ids, std::size_t count) {
  const SelectedIds selected(ids, count);
  xmlNode* node = section->children;
  while (node != nullptr) {
    xmlNode* next = node->next;
    if (!isKept(node, selected)) {
      xmlUnlinkNode(node);
      XmlNodeHandle removed(node);
    }
    node = next;
  }
}

void save(xmlDoc* doc, const std::string& path) {
  if (!saveDocumentAtomically(doc, path)) std::puts("write xml to file failed");
}

// A new document, declared as UTF-8, that takes over the template's root element instead of a
// copy of it: a deep copy of a large template cost more than parsing it. The element's names and
// short texts stay in the template's dictionary, which the new document therefore shares, and
// its namespace pointers may point into the template, which outlives the new document.
XmlDocHandle documentFromTemplate(xmlDoc* templateDoc, xmlNode* templateRoot) {
  XmlDocHandle doc(xmlNewDoc(xmlText("1.0")));
  if (doc == nullptr) return nullptr;
  doc->encoding = xmlStrdup(xmlText("UTF-8"));
  if (templateDoc->dict != nullptr) {
    doc->dict = templateDoc->dict;
    xmlDictReference(doc->dict);
  }
  xmlDocSetRootElement(doc.get(), templateRoot);
  return doc;
}

void writeNewFile(xmlDoc* templateDoc, xmlNode* templateRoot, const AttributeIdList& ids,
                  const std::string& type, std::size_t count, const std::string& outputPath) {
  XmlDocHandle output = documentFromTemplate(templateDoc, templateRoot);
  if (output == nullptr) {
    std::puts("write xml to file failed");
    return;
  }
  xmlNode* section = findLastSection(xmlDocGetRootElement(output.get()), type);
  if (section != nullptr) filterSection(section, ids, count);
  save(output.get(), outputPath);
}

// The custom file's first section of that name gives way to the copy; without one, the copy
// becomes the root's last child.
bool placeSection(xmlDoc* customDoc, xmlNode* customRoot, xmlNode* section,
                  const std::string& type) {
  xmlNode* copy = xmlDocCopyNode(section, customDoc, 1);
  if (copy == nullptr) return false;
  xmlNode* previous = findFirstSection(customRoot, type);
  if (previous == nullptr) {
    xmlAddChild(customRoot, copy);
  } else {
    XmlNodeHandle replaced(xmlReplaceNode(previous, copy));
  }
  return true;
}

void updateExistingFile(xmlNode* templateRoot, const AttributeIdList& ids, const std::string& type,
                        std::size_t count, const std::string& target) {
  const XmlDocHandle custom = openTreeFile(target);
  xmlNode* customRoot = getTreeRoot(custom.get());
  if (customRoot == nullptr) return;

  // Without a template section there is nothing to copy, and the file stays as it is.
  xmlNode* section = findLastSection(templateRoot, type);
  if (section == nullptr || customRoot->children == nullptr) return;
  filterSection(section, ids, count);
  if (!placeSection(custom.get(), customRoot, section, type)) {
    std::puts("write xml to file failed");
    return;
  }
  save(custom.get(), target);
}

}  // namespace

void generateCustomTree(const AttributeIdList& ids, const std::string& type, std::size_t count,
                        const std::string& outputName) {
  const XmlDocHandle templateDoc = openTreeFile(paths::kTreeTemplateName);
  if (templateDoc == nullptr) return;
  xmlNode* templateRoot = getTreeRoot(templateDoc.get());
  if (templateRoot == nullptr) return;

  // One resolution of the output path serves the template check, the read and the write, so a
  // link can't show the check one file and the writer another.
  std::string target;
  if (resolveWriteTarget(resolveTreePath(outputName), target) != 0) {
    std::puts("write xml to file failed");
  } else if (treeFileExists(target) != 0) {
    writeNewFile(templateDoc.get(), templateRoot, ids, type, count, target);
  } else if (isTemplateFile(target)) {
    std::puts("output file can not be the template file");
  } else {
    updateExistingFile(templateRoot, ids, type, count, target);
  }
}

}  // namespace kyto::treeshaper
