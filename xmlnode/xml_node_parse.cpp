// Building trees: parsing files and texts, and creating new documents.
#include <fcntl.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "xml_node.h"
#include "xml_tree.h"

const XMLNode XMLNode::emptyXMLNode{};

namespace {

enum ParseError { kParseOk = 0, kUnreadable = 1, kMalformed = 2, kTagMissing = 3 };

using kyto::xmlnode::kParseOptions;

// The file as the parser's input, read as the parser asks for more. Read errors are recorded
// here rather than reported by libxml2, which would print them.
struct FileInput {
  int fd = -1;
  int readError = 0;
};

int readInput(void* context, char* buffer, int length) {
  auto* input = static_cast<FileInput*>(context);
  for (;;) {
    ssize_t n = read(input->fd, buffer, static_cast<size_t>(length));
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) {
      input->readError = errno;
      return -1;
    }
  }
}

int closeInput(void* /*context*/) {
  return 0;  // the descriptor is closed by its owner
}

// Parses the file in the chunks the parser reads, without a copy of the whole file in memory.
// *unreadable is set when it can't be opened or read (a directory included).
xmlDocPtr parseFile(const char* path, int options, bool* unreadable) {
  FileInput input;
  input.fd = open(path, O_RDONLY | O_CLOEXEC);
  *unreadable = input.fd < 0;
  if (input.fd < 0) return nullptr;
  xmlDocPtr doc = xmlReadIO(readInput, closeInput, &input, nullptr, nullptr, options);
  close(input.fd);
  if (input.readError != 0) {
    *unreadable = true;
    if (doc != nullptr) xmlFreeDoc(doc);
    return nullptr;
  }
  return doc;
}

xmlDocPtr parseMemory(std::string_view content, int options) {
  if (content.size() > INT_MAX) return nullptr;
  return xmlReadMemory(content.data(), static_cast<int>(content.size()), nullptr, nullptr, options);
}

void setError(int* error, int value) {
  if (error != nullptr) *error = value;
}

}  // namespace

XMLNode XMLNode::adoptDocument(xmlDocPtr doc, const char* tag, bool* found) {
  *found = false;
  if (doc == nullptr) return {};
  std::shared_ptr<Tree> tree;
  try {
    tree = std::make_shared<Tree>(doc);
  } catch (const std::bad_alloc&) {
    xmlFreeDoc(doc);
    return {};
  }
  if (tag == nullptr) {
    *found = true;
    return XMLNode(std::move(tree), doc);
  }
  xmlNodePtr element = kyto::xmlnode::findFirstElement(doc->children, tag);
  if (element == nullptr) return {};
  *found = true;
  return XMLNode(std::move(tree), element);
}

XMLNode XMLNode::openFileHelper(const char* path, int* error, const char* tag) {
  setError(error, kUnreadable);
  if (path == nullptr) return {};
  bool unreadable = false;
  xmlDocPtr doc = parseFile(path, kParseOptions, &unreadable);
  if (doc == nullptr) {
    setError(error, unreadable ? kUnreadable : kMalformed);
    return {};
  }
  bool found = false;
  XMLNode node = adoptDocument(doc, tag, &found);
  setError(error, found ? kParseOk : kTagMissing);
  return node;
}

XMLNode XMLNode::parseString(const char* text, const char* tag, XMLResults* /*results*/) {
  if (text == nullptr) return {};
  // A cut or damaged text still yields the elements read before the damage.
  bool found = false;
  return adoptDocument(parseMemory(text, kParseOptions | XML_PARSE_RECOVER), tag, &found);
}

XMLNode XMLNode::createXMLTopNode(const char* name, int isDeclaration) {
  if (isDeclaration == 0 && name == nullptr) return {};
  bool found = false;
  XMLNode top = adoptDocument(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")), nullptr, &found);
  if (top.isEmpty() || isDeclaration != 0) return top;
  // Not a declaration: the node is the document's root element.
  return top.addChild(name);
}
