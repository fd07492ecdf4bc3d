#include "config_document.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "common/regular_file.h"
#include "common/unique_fd.h"
#include "xml_tree.h"

namespace kyto::clientadm {

namespace {

struct XmlParserFree {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

// The error that made a parse fail: libxml2's first fatal error, or its first error when it
// raised no fatal one. Warnings don't count.
struct FirstError {
  bool seen = false;
  bool fatal = false;
  long line = 0;
  std::string message;
};

// A libxml2 callback: nothing may be thrown out of it.
void recordError(void* context, xmlError* error) noexcept {
  auto* first = static_cast<FirstError*>(context);
  if (error == nullptr || error->level < XML_ERR_ERROR || first->fatal) return;
  const bool fatal = error->level == XML_ERR_FATAL;
  if (first->seen && !fatal) return;
  first->seen = true;
  first->fatal = fatal;
  first->line = error->line;
  try {
    first->message = error->message != nullptr ? error->message : "";
  } catch (...) {
    first->message.clear();  // out of memory: the line alone must do
  }
  while (!first->message.empty() && first->message.back() == '\n') first->message.pop_back();
}

// Sends every libxml2 error of this thread to a FirstError while it lives, then gives the
// previous handler back: nothing reaches standard error, whatever part of libxml2 raises it.
class ErrorCapture {
 public:
  explicit ErrorCapture(FirstError* first)
      : savedHandler_(xmlStructuredError), savedContext_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(first, recordError);
  }
  ~ErrorCapture() { xmlSetStructuredErrorFunc(savedContext_, savedHandler_); }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

 private:
  xmlStructuredErrorFunc savedHandler_;
  void* savedContext_;
};

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

// The file as the parser's input, read as the parser asks; a read error is kept here rather than
// raised by libxml2.
struct FileInput {
  int fd = -1;
  int readError = 0;
};

int readInput(void* context, char* buffer, int length) {
  auto* input = static_cast<FileInput*>(context);
  for (;;) {
    const ssize_t n = read(input->fd, buffer, static_cast<size_t>(length));
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

ConfigDocument failed(ConfigDocument::Outcome outcome, int error) {
  ConfigDocument result;
  result.outcome = outcome;
  result.error = error;
  return result;
}

}  // namespace

ConfigDocument readConfigDocument(const std::string& path) {
  UniqueFd fd;
  if (const int error = openRegularFile(path, fd); error != 0)
    return failed(
        error == ENOENT ? ConfigDocument::Outcome::Missing : ConfigDocument::Outcome::Unreadable,
        error);
  std::unique_ptr<xmlParserCtxt, XmlParserFree> parser(xmlNewParserCtxt());
  if (parser == nullptr || parser->sax == nullptr)
    return failed(ConfigDocument::Outcome::Unreadable, ENOMEM);
  parser->sax->startElementNs = startElementKeepingLine;

  FirstError firstError;
  FileInput input{fd.get()};
  XmlDocPtr doc;
  {
    ErrorCapture capture(&firstError);
    doc.reset(xmlCtxtReadIO(parser.get(), readInput, closeInput, &input, nullptr, nullptr,
                            xmlnode::kParseOptions));
  }
  if (input.readError != 0) return failed(ConfigDocument::Outcome::Unreadable, input.readError);
  if (doc == nullptr) {
    ConfigDocument result = failed(ConfigDocument::Outcome::Malformed, 0);
    result.errorLine = firstError.line;
    result.message = firstError.seen ? firstError.message : "no document";
    return result;
  }
  ConfigDocument result = failed(ConfigDocument::Outcome::Parsed, 0);
  result.doc = std::move(doc);
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
