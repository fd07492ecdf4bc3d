// Building trees: parsing files and texts, and creating new documents.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>

#include "common/safe_text.h"
#include "xml_input.h"
#include "xml_memory.h"
#include "xml_node.h"
#include "xml_tree.h"
#include "xml_well_formed.h"

const XMLNode XMLNode::emptyXMLNode{};

namespace {

using kyto::xmlnode::InputStatus;
using kyto::xmlnode::XmlBytes;
using kyto::xmlnode::XmlInput;

// Comments, processing instructions and the document type stay in the tree, so that a rewrite
// of a file keeps them; white space between elements does not. References are replaced, white
// space in attribute values becomes spaces and line ends become newlines, each only when the
// check found any to convert: a plain list is built without looking for them again.
unsigned parseOptions(const kyto::xmlnode::WellFormedness& checked) {
  unsigned options = pugi::parse_cdata | pugi::parse_comments | pugi::parse_pi |
                     pugi::parse_doctype | pugi::parse_declaration;
  if (checked.references) options |= pugi::parse_escapes;
  if (checked.breaksInValues) options |= pugi::parse_wconv_attribute;
  if (checked.carriageReturns) options |= pugi::parse_eol;
  return options;
}

long lineAt(std::string_view text, std::size_t offset) {
  return 1 + static_cast<long>(std::count(text.begin(), text.begin() + offset, '\n'));
}

std::vector<std::size_t> newlinesOf(std::string_view text) {
  std::vector<std::size_t> newlines;
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1))
    newlines.push_back(at);
  return newlines;
}

void setMalformed(XMLNode::FileReport& report, long line, std::string problem) {
  report.error = XMLNode::kFileMalformed;
  report.line = line;
  report.problem = std::move(problem);
}

void setBeyondLimits(XMLNode::FileReport& report, XMLNode::Bound bound, std::string problem) {
  report.error = XMLNode::kFileBeyondLimits;
  report.bound = bound;
  report.problem = std::move(problem);
}

// What a failed read says of the file.
void reportInput(const XmlInput& input, XMLNode::FileReport& report) {
  switch (input.status) {
    case InputStatus::kRead:
      break;
    case InputStatus::kUnreadable:
      report.error = XMLNode::kFileUnreadable;
      report.readError = input.error;
      report.problem = input.error == EINVAL ? "not a regular file" : std::strerror(input.error);
      break;
    case InputStatus::kTooLarge:
      static_assert(kyto::xmlnode::kMostXmlFileBytes == 64 * 1024 * 1024, "the text names it");
      setBeyondLimits(report, XMLNode::kSizeBound, "larger than the 64 MiB the tools read");
      break;
    case InputStatus::kOutOfMemory:
      setBeyondLimits(report, XMLNode::kMemoryBound, "memory ran out");
      break;
    case InputStatus::kUnknownEncoding:
      setBeyondLimits(
          report, XMLNode::kEncodingBound,
          "in the encoding \"" + input.encoding + "\", which this machine can't convert");
      break;
    case InputStatus::kBadEncoding:
      setMalformed(report, 0,
                   "bytes that are no characters of its encoding \"" + input.encoding + "\"");
      break;
  }
}

// Builds the tree of a UTF-8 text: the whole text when it is well-formed; else, with recovery,
// what comes before its first problem, and without, nothing.
std::shared_ptr<XMLNode::Tree> build(XmlBytes text, bool recover, bool keepLines,
                                     XMLNode::FileReport& report) {
  // The agent's output (recovered) keeps its bytes; a file must hold characters XML allows.
  kyto::xmlnode::WellFormedness checked = kyto::xmlnode::checkWellFormed(text.view(), recover);
  if (!checked.wellFormed) {
    setMalformed(report, lineAt(text.view(), checked.offset), std::move(checked.problem));
    if (!recover) return nullptr;
  }
  auto tree = std::make_shared<XMLNode::Tree>();
  const kyto::xmlnode::LargeDocument large(text.size());
  if (keepLines) {
    tree->linesKept = true;
    tree->newlines = newlinesOf(text.view());
  }
  // pugixml ends its last token on the buffer's last byte: a NUL after the text (or where a
  // damaged text is cut) keeps that token whole.
  const std::size_t length = checked.offset;
  tree->parsedBytes = length;
  text.data()[length] = '\0';
  const pugi::xml_parse_result parsed = tree->doc.load_buffer_inplace_own(
      text.release(), length + 1, parseOptions(checked), pugi::encoding_utf8);
  if (parsed.status == pugi::status_out_of_memory) {
    setBeyondLimits(report, XMLNode::kMemoryBound, "memory ran out");
    return nullptr;
  }
  if (!checked.wellFormed) return tree;
  if (!parsed) {
    // The check passed what the parser refuses: trust the parser.
    setMalformed(report, 0, parsed.description());
    if (!recover) return nullptr;
    return tree;
  }
  report.error = XMLNode::kFileParsed;
  return tree;
}

// What errno says of a file beyond one of the reader's bounds.
int errnoOf(XMLNode::Bound bound) {
  switch (bound) {
    case XMLNode::kSizeBound:
      return EFBIG;
    case XMLNode::kEncodingBound:
      return ENOTSUP;
    case XMLNode::kMemoryBound:
    case XMLNode::kNoBound:
      break;
  }
  return ENOMEM;
}

std::string diagnosticOf(const char* path, const XMLNode::FileReport& report) {
  std::string line(path);
  if (report.line > 0) line += ":" + std::to_string(report.line);
  line += ": " + report.problem;
  return kyto::withoutControls(line);
}

pugi::xml_node findFirstElement(pugi::xml_node top, const char* name) {
  // Iterative pre-order walk below top.
  pugi::xml_node node = top.first_child();
  while (node) {
    if (kyto::xmlnode::isElementNamed(node, name)) return node;
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (!node.next_sibling()) {
      node = node.parent();
      if (!node || node == top) return {};
    }
    node = node.next_sibling();
  }
  return {};
}

}  // namespace

XMLNode XMLNode::parseDocument(std::string_view bytes, FileReport& report) {
  report = FileReport{};
  try {
    XmlInput input;
    if (bytes.size() > kyto::xmlnode::kMostXmlFileBytes) {
      input.status = InputStatus::kTooLarge;
    } else if (XmlBytes copy = XmlBytes::copyOf(bytes); copy.empty()) {
      input.status = InputStatus::kOutOfMemory;
    } else {
      input = kyto::xmlnode::toUtf8(std::move(copy));
    }
    std::shared_ptr<Tree> tree;
    if (input.status == InputStatus::kRead) {
      tree = build(std::move(input.text), false, false, report);
    } else {
      reportInput(input, report);
    }
    return tree == nullptr ? XMLNode() : XMLNode(tree, tree->doc.internal_object());
  } catch (const std::bad_alloc&) {
    report = FileReport{};
    setBeyondLimits(report, XMLNode::kMemoryBound, "memory ran out");
    return {};
  }
}

XMLNode XMLNode::openFile(const char* path, FileReport& report, bool keepLines) {
  report = FileReport{};
  if (path == nullptr) return {};
  try {
    XmlInput input = kyto::xmlnode::readXmlFile(path);
    std::shared_ptr<Tree> tree;
    if (input.status == InputStatus::kRead) {
      tree = build(std::move(input.text), false, keepLines, report);
    } else {
      reportInput(input, report);
    }
    if (tree == nullptr) {
      report.diagnostic = diagnosticOf(path, report);
      if (report.error == kFileUnreadable) errno = report.readError;
      return {};
    }
    return XMLNode(tree, tree->doc.internal_object());
  } catch (const std::bad_alloc&) {
    report = FileReport{};
    setBeyondLimits(report, XMLNode::kMemoryBound, "memory ran out");
    report.diagnostic = diagnosticOf(path, report);
    return {};
  }
}

XMLNode XMLNode::openFileHelper(const char* path, int* error, const char* tag,
                                std::string* diagnostic) {
  FileReport report;
  XMLNode top = openFile(path, report);
  if (diagnostic != nullptr) *diagnostic = std::move(report.diagnostic);
  const int readError = report.readError;
  XMLNode found = tag == nullptr || top.isEmpty() ? top : top.findElement(tag);
  if (tag != nullptr && !top.isEmpty() && found.isEmpty()) report.error = kFileTagMissing;
  if (error != nullptr) *error = report.error;
  if (report.error == kFileUnreadable) errno = readError;
  if (report.error == kFileBeyondLimits) errno = errnoOf(report.bound);
  return found;
}

XMLNode XMLNode::parseString(const char* text, const char* tag, XMLResults* /*results*/) {
  if (text == nullptr) return {};
  try {
    XmlInput input = kyto::xmlnode::toUtf8(XmlBytes::copyOf(text));
    if (input.status != InputStatus::kRead) return {};
    FileReport report;
    std::shared_ptr<Tree> tree = build(std::move(input.text), true, false, report);
    if (tree == nullptr) return {};
    XMLNode top(tree, tree->doc.internal_object());
    return tag == nullptr ? top : top.findElement(tag);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

XMLNode XMLNode::findElement(const char* name) const {
  if (liveTree() == nullptr || name == nullptr) return {};
  const pugi::xml_node found = findFirstElement(kyto::xmlnode::nodeOf(node_), name);
  return found ? XMLNode(tree_, found.internal_object()) : XMLNode();
}

XMLNode XMLNode::createXMLTopNode(const char* name, int isDeclaration) {
  if (isDeclaration == 0 && name == nullptr) return {};
  try {
    auto tree = std::make_shared<Tree>();
    XMLNode top(tree, tree->doc.internal_object());
    if (isDeclaration != 0) return top;
    // Not a declaration: the node is the document's root element.
    return top.addChild(name);
  } catch (const std::bad_alloc&) {
    return {};
  }
}
