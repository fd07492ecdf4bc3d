#include "custom_tree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <optional>

#include "atomic_save.h"
#include "common/appliance_paths.h"
#include "common/atomic_file.h"
#include "common/exclusive_lock.h"
#include "common/unique_fd.h"
#include "tree_file.h"
#include "tree_sections.h"

namespace kyto::treeshaper {

namespace {

const xmlChar* xmlText(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

bool writeFailed() {
  std::puts("write xml to file failed");
  return false;
}

// Every custom tree is rebuilt from the template, so writing over it would lose the removed
// attributes for good. The target is already resolved by the kernel, and comparing the files
// themselves also catches a hard link.
bool isTemplateFile(const std::string& target, const std::string& templatePath) {
  struct stat output {};
  struct stat templateFile {};
  return stat(target.c_str(), &output) == 0 && stat(templatePath.c_str(), &templateFile) == 0 &&
         output.st_dev == templateFile.st_dev && output.st_ino == templateFile.st_ino;
}

std::string directoryOf(const std::string& target) {
  const std::string::size_type slash = target.rfind('/');
  return slash == 0 ? "/" : target.substr(0, slash);
}

// Adds to one output are read-modify-writes: two at once would each keep only their own section.
// Writers take turns on the lock of the output's directory, held from before the output is looked
// at until it is replaced; locking the directory itself leaves no lock file behind. The output is
// resolved again under the lock, where no other writer renames a file into place: resolving an
// existing file that is being replaced could name the replaced one ("... (deleted)"). A link
// re-pointed to another directory between the two resolutions fails the write.
bool lockAndResolve(const std::string& path, UniqueFd& lock, std::string& target) {
  std::string first;
  if (resolveWriteTarget(path, first) != 0) return false;
  lock = UniqueFd(open(directoryOf(first).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!lock.valid() || waitForExclusiveLock(lock.get()) != 0) return false;
  return resolveWriteTarget(path, target) == 0 && directoryOf(target) == directoryOf(first);
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

bool save(xmlDoc* doc, const std::string& path) {
  return saveDocumentAtomically(doc, path) || writeFailed();
}

// The template document itself, filtered and saved: its declaration, DTD and comments stay, so
// the entities its texts use stay defined. A template that declares no encoding is UTF-8 and is
// declared so.
bool writeNewFile(xmlDoc* templateDoc, xmlNode* templateRoot, const AttributeIdList& ids,
                  const std::string& type, std::size_t count, const std::string& outputPath) {
  xmlNode* section = findLastSection(templateRoot, type);
  if (section != nullptr) filterSection(section, ids, count);
  if (templateDoc->encoding == nullptr) {
    templateDoc->encoding = xmlStrdup(xmlText("UTF-8"));
    if (templateDoc->encoding == nullptr) return writeFailed();
  }
  return save(templateDoc, outputPath);
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

bool updateExistingFile(xmlNode* templateRoot, const AttributeIdList& ids, const std::string& type,
                        std::size_t count, const std::string& target) {
  const XmlDocHandle custom = openTreeFile(target);
  xmlNode* customRoot = getTreeRoot(custom.get());
  if (customRoot == nullptr) return false;

  // Without a template section there is nothing to copy, and the file stays as it is.
  xmlNode* section = findLastSection(templateRoot, type);
  if (section == nullptr || customRoot->children == nullptr) return false;
  filterSection(section, ids, count);
  if (!placeSection(custom.get(), customRoot, section, type)) return writeFailed();
  return save(custom.get(), target);
}

}  // namespace

bool generateCustomTree(const AttributeIdList& ids, const std::string& type, std::size_t count,
                        const std::string& outputName) {
  const std::optional<std::string> templatePath = treePathOrComplaint(paths::kTreeTemplateName);
  if (!templatePath) return false;
  const XmlDocHandle templateDoc = openTreeFile(*templatePath);
  if (templateDoc == nullptr) return false;
  xmlNode* templateRoot = getTreeRoot(templateDoc.get());
  if (templateRoot == nullptr) return false;
  const std::optional<std::string> outputPath = treePathOrComplaint(outputName);
  if (!outputPath) return false;

  // One resolution of the output path serves the template check, the read and the write, so a
  // link can't show the check one file and the writer another.
  UniqueFd lock;
  std::string target;
  if (!lockAndResolve(*outputPath, lock, target)) return writeFailed();
  if (treeFileExists(target) != 0) {
    return writeNewFile(templateDoc.get(), templateRoot, ids, type, count, target);
  }
  if (isTemplateFile(target, *templatePath)) {
    std::puts("output file can not be the template file");
    return false;
  }
  return updateExistingFile(templateRoot, ids, type, count, target);
}

}  // namespace kyto::treeshaper
