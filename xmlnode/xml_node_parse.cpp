// Building trees: parsing files and texts, and creating new documents.
#include <fcntl.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "common/xml_diagnostics.h"
#include "xml_node.h"
#include "xml_tree.h"

const XMLNode XMLNode::emptyXMLNode{};

namespace {

enum ParseError { kParseOk = 0, kUnreadable = 1, kMalformed = 2, kTagMissing = 3 };

// No entity expansion, no network, and no messages: a bad file is reported by the result only.
// Short texts are kept inside their nodes (COMPACT), which saves an allocation for most
// attribute values of a large client list; libxml2 frees, unlinks and serialises such nodes like
// any other, and XMLNode never changes a parsed text in place.
constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR |
                              XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

// Parses the file in the chunks the parser reads, without a copy of the whole file in memory.
// *unreadable is set when it can't be opened or read (a directory included). What libxml2 reports
// is kept as one line in *diagnostic, never printed.
xmlDocPtr parseFile(const char* path, int options, bool* unreadable, std::string* diagnostic) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  *unreadable = fd < 0;
  if (fd < 0) {
    if (diagnostic != nullptr) *diagnostic = kyto::fileProblem(path, errno);
    return nullptr;
  }
  kyto::XmlFileParse parse = kyto::parseXmlDescriptor(fd, path, options);
  close(fd);
  *unreadable = parse.readError != 0;
  if (diagnostic != nullptr) *diagnostic = std::move(parse.diagnostic);
  return parse.doc;
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

XMLNode XMLNode::openFileHelper(const char* path, int* error, const char* tag,
                                std::string* diagnostic) {
  setError(error, kUnreadable);
  if (path == nullptr) return {};
  bool unreadable = false;
  xmlDocPtr doc = parseFile(path, kParseOptions, &unreadable, diagnostic);
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
