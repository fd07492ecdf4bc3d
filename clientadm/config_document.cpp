#include "config_document.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>

#include <cerrno>
#include <cstdint>

#include "common/xml_diagnostics.h"
#include "xml_tree.h"

namespace kyto::clientadm {

namespace {

// The line of the '<' that opens the start tag the parser has just read. The parser's counter is
// at the tag's end, and the whole tag is still in its buffer; no '<' can stand inside a tag, so
// the last one before the end is its start.
long startTagLine(const xmlParserInput& input) {
  long newlines = 0;
  for (const xmlChar* at = input.cur; at > input.base;) {
    --at;
    if (*at == '<') return input.line - newlines;
    if (*at == '\n') ++newlines;
  }
  return input.line;  // not in the buffer (never seen): the tag's end will do
}

// libxml2 keeps an element's line in 16 bits and at the end of its start tag; each new element
// keeps the exact line of its start in its application field instead.
void startElementKeepingLine(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes) {
  xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                        defaultedCount, attributes);
  auto* parser = static_cast<xmlParserCtxt*>(context);
  xmlNode* element = parser->node;
  if (element == nullptr || element->_private != nullptr || parser->input == nullptr ||
      parser->input->cur == nullptr || parser->input->base == nullptr)
    return;
  const long line = startTagLine(*parser->input);
  element->_private = reinterpret_cast<void*>(static_cast<std::intptr_t>(line));
}

// The parser's elements keep the exact line of their start tag.
void keepStartLines(xmlParserCtxt* parser) {
  if (parser->sax != nullptr) parser->sax->startElementNs = startElementKeepingLine;
}

ConfigDocument failed(ConfigDocument::Outcome outcome, int error) {
  ConfigDocument result;
  result.outcome = outcome;
  result.error = error;
  return result;
}

}  // namespace

ConfigDocument readConfigDocument(const std::string& path) {
  XmlFileParse parse = parseXmlFile(path, xmlnode::kParseOptions, keepStartLines);
  if (parse.readError != 0)
    return failed(parse.readError == ENOENT ? ConfigDocument::Outcome::Missing
                                            : ConfigDocument::Outcome::Unreadable,
                  parse.readError);
  if (parse.doc == nullptr) {
    ConfigDocument result = failed(ConfigDocument::Outcome::Malformed, 0);
    result.errorLine = parse.errorLine;
    result.message = parse.errorMessage.empty() ? "no document" : parse.errorMessage;
    return result;
  }
  ConfigDocument result = failed(ConfigDocument::Outcome::Parsed, 0);
  result.doc.reset(parse.doc);
  return result;
}

long elementLine(const xmlNode* element) {
  const auto kept = reinterpret_cast<std::intptr_t>(element->_private);
  return kept > 0 ? static_cast<long>(kept) : xmlGetLineNo(element);
}

std::optional<std::string> attributeValue(const xmlNode* element, const char* name) {
  const auto wanted = reinterpret_cast<const xmlChar*>(name);
  for (const xmlAttr* attribute = element->properties; attribute != nullptr;
       attribute = attribute->next) {
    if (xmlStrEqual(attribute->name, wanted)) return xmlnode::joinValueParts(attribute);
  }
  return std::nullopt;
}

}  // namespace kyto::clientadm
