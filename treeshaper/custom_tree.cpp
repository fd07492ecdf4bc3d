#include "custom_tree.h"
#include <libxml/xmlsave.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "common/appliance_paths.h"
#include "common/atomic_file.h"
#include "common/descriptors.h"
#include "common/exclusive_lock.h"
#include "common/safe_text.h"
#include "tree_file.h"

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
// attributes for good. Comparing the files themselves also catches a link or a hard link.
bool isTemplateFile(const WriteTarget& target, const std::string& templatePath) {
  struct stat output {};
  struct stat templateFile {};
  return target.stat(&output) == 0 && stat(templatePath.c_str(), &templateFile) == 0 &&
         output.st_dev == templateFile.st_dev && output.st_ino == templateFile.st_ino;
}

// A turn of one writer of an existing output file, held on the file itself, when the directory
// can't be locked: 0 once held, else an errno value. The file may be replaced while we wait for
// it, so the turn counts only on the file that is there once the lock is held.
int takeTurnOnFile(const WriteTarget& target, UniqueFd& lock) {
  constexpr int kTries = 8;  // replacements of the file under us before giving up
  for (int tries = 0; tries < kTries; ++tries) {
    lock = UniqueFd(
        openat(target.dir(), target.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!lock.valid()) return errno == ENOENT ? 0 : errno;  // a new file: nobody to wait for
    if (const int error = lockExclusively(lock.get()); error != 0) return error;
    struct stat locked {};
    struct stat present {};
    if (fstat(lock.get(), &locked) == 0 && target.stat(&present) == 0 &&
        locked.st_dev == present.st_dev && locked.st_ino == present.st_ino)
      return 0;
  }
  return EAGAIN;
}

// Adds to one output are read-modify-writes: two at once would each keep only their own section.
// Writers take turns on the lock of the output's directory, held from before the output is looked
// at until it is replaced; locking the directory itself leaves no lock file behind. A directory
// that its writer may write and search but not read can't be opened to lock it: writers of an
// existing file then take turns on the file, and a new file is written without a turn.
int takeTurn(const WriteTarget& target, UniqueFd& lock) {
  lock = UniqueFd(openat(target.dir(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (lock.valid()) return lockExclusively(lock.get());
  return errno == EACCES ? takeTurnOnFile(target, lock) : errno;
}

bool turnRefused(const WriteTarget& target, int error) {
  const std::string why =
      error == EWOULDBLOCK
          ? "another writer held it for " + std::to_string(kLockWaitLimit.count() / 1000) + " s"
          : std::strerror(error);
  complain(withoutControls(target.path() + ": no turn to write it: " + why));
  return writeFailed();
}

// Whitespace, comments and elements without an ID always stay.
bool isKept(const xmlNode* node, const SelectedIds& selected) {
  if (xmlHasProp(node, xmlText("ID")) == nullptr) return true;
  const xml::XmlStringHandle id = xml::attributeValue(node, "ID");
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
      xml::XmlNodeHandle removed(node);
    }
    node = next;
  }
}

bool save(xmlDoc* doc, const WriteTarget& target) {
  return saveDocumentAtomically(doc, target) || writeFailed();
}

// The template document itself, filtered and saved: its DTD and comments stay, so the entities
// its texts use stay defined. A new file is declared and written as UTF-8, whatever encoding the
// template was saved in: libxml2 holds the names as UTF-8, so they read back the same.
bool writeNewFile(xmlDoc* templateDoc, xmlNode* templateRoot, const AttributeIdList& ids,
                  const std::string& type, std::size_t count, const WriteTarget& output) {
  xmlNode* section = findLastSection(templateRoot, type);
  if (section != nullptr) filterSection(section, ids, count);
  xmlChar* utf8 = xmlStrdup(xmlText("UTF-8"));
  if (utf8 == nullptr) return writeFailed();
  xmlFree(const_cast<xmlChar*>(templateDoc->encoding));
  templateDoc->encoding = utf8;
  return save(templateDoc, output);
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
    xml::XmlNodeHandle replaced(xmlReplaceNode(previous, copy));
  }
  return true;
}

bool updateExistingFile(xmlNode* templateRoot, const AttributeIdList& ids, const std::string& type,
                        std::size_t count, const WriteTarget& target) {
  const xml::XmlDocHandle custom = openTreeFile(target);
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
  const xml::XmlDocHandle templateDoc = openTreeFile(*templatePath);
  if (templateDoc == nullptr) return false;
  xmlNode* templateRoot = getTreeRoot(templateDoc.get());
  if (templateRoot == nullptr) return false;
  const std::optional<std::string> outputPath = treePathOrComplaint(outputName);
  if (!outputPath) return false;

  // One look-up of the output serves the template check, the read and the write, so a link can't
  // show the check one file and the writer another, and a file renamed into its place meanwhile
  // is still the one written.
  WriteTarget target;
  if (findWriteTarget(*outputPath, target) != 0) return writeFailed();
  UniqueFd turn;
  if (const int error = takeTurn(target, turn); error != 0) return turnRefused(target, error);
  if (!target.exists()) {
    return writeNewFile(templateDoc.get(), templateRoot, ids, type, count, target);
  }
  if (isTemplateFile(target, *templatePath)) {
    complain("output file can not be the template file");
    return false;
  }
  return updateExistingFile(templateRoot, ids, type, count, target);
}

namespace {

int appendTo(void* context, const char* data, int length) {
  static_cast<std::string*>(context)->append(data, static_cast<std::size_t>(length));
  return length;
}

// The bytes xmlSaveFile would write: no reformatting, in the document's own encoding.
bool serialise(xmlDoc* doc, std::string& bytes) {
  const char* encoding = reinterpret_cast<const char*>(doc->encoding);
  xmlSaveCtxtPtr context = xmlSaveToIO(appendTo, nullptr, &bytes, encoding, XML_SAVE_AS_XML);
  if (context == nullptr) return false;
  const bool dumped = xmlSaveDoc(context, doc) >= 0;
  const bool flushed = xmlSaveClose(context) >= 0;
  return dumped && flushed;
}

}  // namespace

bool saveDocumentAtomically(xmlDoc* doc, const WriteTarget& target) {
  std::string bytes;
  return serialise(doc, bytes) && replaceTarget(target, bytes) == 0;
}

}  // namespace kyto::treeshaper
