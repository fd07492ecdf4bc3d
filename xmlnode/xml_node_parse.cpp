// Building trees: parsing files and texts, and creating new documents.
#include <fcntl.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "common/regular_file.h"
#include "common/unique_fd.h"
#include "xml_node.h"
#include "xml_tree.h"

const XMLNode XMLNode::emptyXMLNode{};

namespace {

// No entity expansion, no network, and no messages: a bad file is reported by the result only.
// Short texts are kept inside their nodes (COMPACT), which saves an allocation for most
// attribute values of a large client list; libxml2 frees, unlinks and serialises such nodes like
// any other, and XMLNode never changes a parsed text in place.
constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR |
                              XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

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

// What libxml2 reported during one parse. Running out of memory or reaching one of the parser's
// own size limits says nothing about whether the file is well-formed, so it is told apart.
struct ParseErrors {
  bool any = false;
  bool beyondLimits = false;
};

// libxml2 2.9 has no code of its own for its limits: a text over 10 MB is reported as out of
// memory ("huge text node"), a token over 10 MB ("Huge input lookup") and nesting over 256 as an
// internal error, and a comment, processing instruction or CDATA section over 10 MB with the code
// of an unfinished one and "too big" in the message.
bool isBeyondLimits(const xmlError& error) {
  switch (error.code) {
    case XML_ERR_NO_MEMORY:
    case XML_ERR_INTERNAL_ERROR:
    case XML_ERR_NAME_TOO_LONG:
      return true;
    case XML_ERR_COMMENT_NOT_FINISHED:
    case XML_ERR_PI_NOT_FINISHED:
    case XML_ERR_CDATA_NOT_FINISHED:
      return error.message != nullptr && strstr(error.message, "too big") != nullptr;
    default:
      return false;
  }
}

// The errors after the first mostly follow from it, so the first decides; but memory running
// out anywhere spoils the whole result.
void recordError(void* context, xmlErrorPtr error) {
  auto* errors = static_cast<ParseErrors*>(context);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  if (!errors->any || error->code == XML_ERR_NO_MEMORY)
    errors->beyondLimits = errors->beyondLimits || isBeyondLimits(*error);
  errors->any = true;
}

// Sends this thread's libxml2 errors to errors while it lives, then restores the handler set
// before. Errors raised where the parser has no context (out of memory in a buffer) reach only
// this handler, and are no longer printed.
class ErrorCapture {
 public:
  explicit ErrorCapture(ParseErrors* errors)
      : previous_(xmlStructuredError), previousContext_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(errors, recordError);
  }
  ~ErrorCapture() { xmlSetStructuredErrorFunc(previousContext_, previous_); }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

 private:
  xmlStructuredErrorFunc previous_;
  void* previousContext_;
};

// Parses the file in the chunks the parser reads, without a copy of the whole file in memory.
// Null on failure, with *result saying why.
xmlDocPtr parseFile(const char* path, int options, XMLNode::FileError* result) {
  *result = XMLNode::kFileUnreadable;
  // Only a regular file, opened without blocking: a FIFO without a writer would hold the caller,
  // and a device such as /dev/zero never ends.
  kyto::UniqueFd fd;
  if (kyto::openRegularFile(path, fd) != 0) return nullptr;
  FileInput input;
  input.fd = fd.get();
  ParseErrors errors;
  xmlDocPtr doc;
  {
    ErrorCapture capture(&errors);
    doc = xmlReadIO(readInput, closeInput, &input, nullptr, nullptr, options);
  }
  if (input.readError == 0 && doc != nullptr && !errors.beyondLimits) {
    *result = XMLNode::kFileParsed;
    return doc;
  }
  if (doc != nullptr) xmlFreeDoc(doc);
  // A failure without any error reported is of no known cause: nothing is said of the file.
  if (input.readError == 0)
    *result =
        errors.beyondLimits || !errors.any ? XMLNode::kFileBeyondLimits : XMLNode::kFileMalformed;
  return nullptr;
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

XMLNode XMLNode::openFileHelper(const char* path, int* error, const char* tag) {
  setError(error, kFileUnreadable);
  if (path == nullptr) return {};
  FileError result = kFileUnreadable;
  xmlDocPtr doc = parseFile(path, kParseOptions, &result);
  if (doc == nullptr) {
    setError(error, result);
    return {};
  }
  bool found = false;
  XMLNode node = adoptDocument(doc, tag, &found);
  setError(error, !found ? kFileTagMissing : node.isEmpty() ? kFileBeyondLimits : kFileParsed);
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
