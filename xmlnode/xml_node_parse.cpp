// Building trees: parsing files and texts, and creating new documents.
#include <libxml/parser.h>

#include "common/bounded_parse.h"
#include "xml_node.h"
#include "xml_tree.h"

const XMLNode XMLNode::emptyXMLNode{};

namespace {

using kyto::xml::parseFileWithinLimits;
using kyto::xml::ParseOutcome;
using kyto::xml::ParseResult;
using kyto::xml::parseTextWithinLimits;

enum ParseError {
  kParseOk = 0,
  kUnreadable = 1,
  kMalformed = 2,
  kTagMissing = 3,
  kBeyondLimits = 4,  // refused like a file that doesn't parse, but told apart
};

ParseError errorOf(ParseOutcome outcome) {
  switch (outcome) {
    case ParseOutcome::kParsed:
      return kParseOk;
    case ParseOutcome::kUnreadable:
      return kUnreadable;
    case ParseOutcome::kBeyondLimits:
      return kBeyondLimits;
    case ParseOutcome::kMalformed:
      return kMalformed;
  }
  return kMalformed;
}

// No entity expansion, no network, and no messages: a bad file is reported by the result only.
// Short texts are kept inside their nodes (COMPACT), which saves an allocation for most
// attribute values of a large client list; libxml2 frees, unlinks and serialises such nodes like
// any other, and XMLNode never changes a parsed text in place.
constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR |
                              XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

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
  // The file is parsed in the pieces libxml2 reads, without a copy of it in memory, and within
  // the markup limits.
  const ParseResult parsed = parseFileWithinLimits(path, kParseOptions);
  if (parsed.doc == nullptr) {
    setError(error, errorOf(parsed.outcome));
    return {};
  }
  bool found = false;
  XMLNode node = adoptDocument(parsed.doc, tag, &found);
  setError(error, found ? kParseOk : kTagMissing);
  return node;
}

XMLNode XMLNode::parseString(const char* text, const char* tag, XMLResults* /*results*/) {
  if (text == nullptr) return {};
  // A cut or damaged text still yields the elements read before the damage, and one that breaks
  // a markup limit those before the element that breaks it.
  bool found = false;
  const ParseResult parsed = parseTextWithinLimits(text, kParseOptions | XML_PARSE_RECOVER);
  return adoptDocument(parsed.doc, tag, &found);
}

XMLNode XMLNode::createXMLTopNode(const char* name, int isDeclaration) {
  if (isDeclaration == 0 && name == nullptr) return {};
  bool found = false;
  XMLNode top = adoptDocument(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")), nullptr, &found);
  if (top.isEmpty() || isDeclaration != 0) return top;
  // Not a declaration: the node is the document's root element.
  return top.addChild(name);
}
