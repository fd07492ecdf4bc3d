// Building trees: parsing files and texts, and creating new documents.
#include <libxml/parser.h>

#include <cerrno>
#include <string_view>

#include "common/xml_diagnostics.h"
#include "xml_node.h"
#include "xml_tree.h"

const XMLNode XMLNode::emptyXMLNode{};

namespace {

using kyto::xmlnode::kParseOptions;

// Parses the file in the chunks the parser reads, without a copy of the whole file in memory.
// Only a regular file is opened, without blocking: a FIFO without a writer would hold the
// caller, and a device such as /dev/zero never ends. Null on failure, with *result saying why
// and *diagnostic (when given) one line naming the file and the problem.
xmlDocPtr parseFile(const char* path, int options, XMLNode::FileError* result,
                    std::string* diagnostic) {
  kyto::XmlFileParse parse = kyto::parseXmlFile(path, options);
  if (diagnostic != nullptr) *diagnostic = std::move(parse.diagnostic);
  if (parse.doc != nullptr) {
    *result = XMLNode::kFileParsed;
  } else if (parse.readError != 0) {
    *result = XMLNode::kFileUnreadable;
    errno = parse.readError;
  } else {
    *result = parse.beyondLimits ? XMLNode::kFileBeyondLimits : XMLNode::kFileMalformed;
  }
  return parse.doc;
}

// Within the markup limits, as a file is; with recovery, what the text yields before its first
// damage or the byte that breaks a limit.
xmlDocPtr parseMemory(std::string_view content, int options, XMLResults* results) {
  kyto::XmlFileParse parse = kyto::parseXmlText(content, options);
  if (results != nullptr && parse.breach != kyto::xml::MarkupBreach::kNone)
    results->markupLimit = kyto::xml::describeBreach(parse.breach);
  return parse.doc;
}

void setError(int* error, int value) {
  if (error != nullptr) *error = value;
}

}  // namespace

XMLNode XMLNode::adoptDocument(xmlDocPtr doc, const char* tag, bool* found) {
  *found = false;
  if (doc == nullptr) return {};
  void* node = tag == nullptr ? static_cast<void*>(doc)
                              : kyto::xmlnode::findFirstElement(doc->children, tag);
  if (node == nullptr) {
    xmlFreeDoc(doc);
    return {};
  }
  *found = true;
  std::shared_ptr<Tree> tree;
  try {
    tree = std::make_shared<Tree>(doc);
  } catch (const std::bad_alloc&) {
    xmlFreeDoc(doc);
    return {};  // found, but memory ran out
  }
  return XMLNode(std::move(tree), node);
}

XMLNode XMLNode::openFileHelper(const char* path, int* error, const char* tag,
                                std::string* diagnostic) {
  setError(error, kFileUnreadable);
  if (path == nullptr) return {};
  FileError result = kFileUnreadable;
  xmlDocPtr doc = parseFile(path, kParseOptions, &result, diagnostic);
  if (doc == nullptr) {
    setError(error, result);
    return {};
  }
  bool found = false;
  XMLNode node = adoptDocument(doc, tag, &found);
  setError(error, !found ? kFileTagMissing : node.isEmpty() ? kFileBeyondLimits : kFileParsed);
  return node;
}

XMLNode XMLNode::parseString(const char* text, const char* tag, XMLResults* results) {
  if (results != nullptr) *results = XMLResults{};
  if (text == nullptr) return {};
  // A cut or damaged text still yields the elements read before the damage.
  bool found = false;
  return adoptDocument(parseMemory(text, kParseOptions | XML_PARSE_RECOVER, results), tag, &found);
}

XMLNode XMLNode::createXMLTopNode(const char* name, int isDeclaration) {
  if (isDeclaration == 0 && name == nullptr) return {};
  bool found = false;
  XMLNode top = adoptDocument(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")), nullptr, &found);
  if (top.isEmpty() || isDeclaration != 0) return top;
  // Not a declaration: the node is the document's root element.
  return top.addChild(name);
}
