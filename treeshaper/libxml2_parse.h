// libxml2 in treeshaper: owning handles of its documents, nodes and strings, and parsing XML files
// without libxml2 printing anything: what it reports is kept as one safe line that names the file
// and the problem, for the program to print where its own errors go.
//
// Every input is read whole and checked by the markup pass (markup_limits.h) before libxml2 sees
// it, and reaches libxml2 only up to the markup that breaks a limit: libxml2 then sees a cut
// input. It also ends at libxml2's first error, recovery or not, because libxml2 continues after
// an error where the pass can't vouch for what follows. So any input is taken or refused in time
// proportional to its size.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "markup_limits.h"

namespace kyto::xml {
// A file that parses may still carry many warnings (and errors libxml2 recovers from, such as a
// namespace URI that is no URI); a program prints each one as a line, up to this many per file,
// so that no input floods standard error.
inline constexpr std::size_t kMostKeptWarnings = 20;

// While it lives, libxml2's reports about one parser context come here, and so do the reports it
// raises on this thread without a context (I/O errors). Nothing is installed beyond its life: the
// thread's previous handler is restored on destruction.
class XmlReports {
 public:
  XmlReports(xmlParserCtxt* context, std::string_view path);
  ~XmlReports();
  XmlReports(const XmlReports&) = delete;
  XmlReports& operator=(const XmlReports&) = delete;

  // The first error, else the first warning, as "PATH:LINE: message" with control characters as
  // '?'; empty when libxml2 reported nothing. A fatal error, the one that stopped the parse,
  // takes the place of an earlier error that was not fatal.
  const std::string& first() const { return error_.empty() ? warning_ : error_; }
  // That error's line (0 when it gave none) and message as libxml2 wrote it, without the newline.
  long errorLine() const { return errorLine_; }
  const std::string& errorMessage() const { return errorMessage_; }
  // Every report in the order made, warnings and errors, each as "PATH:LINE: message" with
  // control characters as '?'; at most kMostKeptWarnings of them, and then one line saying that
  // more were left out. For a file that still parses, these are what libxml2 warns of.
  const std::vector<std::string>& warnings() const { return warnings_; }
  // Whether any error was reported, and whether the parse ran out of memory or into one of the
  // parser's own limits, which says nothing of whether the file is well-formed.
  bool anyError() const { return anyError_; }
  bool beyondLimits() const { return beyondLimits_; }

 private:
  static void recordForContext(void* context, xmlError* report);
  static void recordForThread(void* self, xmlError* report);
  void record(const xmlError& report) noexcept;
  std::string lineOf(const xmlError& report, const std::string& message) const;
  void keepWarning(const xmlError& report, const std::string& message);

  xmlParserCtxt* context_;
  std::string path_;
  std::string error_;
  std::string warning_;
  std::vector<std::string> warnings_;
  long errorLine_ = 0;
  std::string errorMessage_;
  bool errorFatal_ = false;
  bool anyError_ = false;
  bool beyondLimits_ = false;
  xmlStructuredErrorFunc savedHandler_;
  void* savedHandlerData_;
};

struct XmlFileParse {
  xmlDoc* doc = nullptr;  // the caller frees it; null when the file gave no document
  int readError = 0;      // errno when it couldn't be opened or read (see openRegularFile)
  // With no document and no read error: memory ran out or a limit of the parser or a markup
  // limit was reached (or it failed without saying why), so the file may well be sound. Else it
  // is not well-formed.
  bool beyondLimits = false;
  MarkupBreach breach = MarkupBreach::kNone;  // the markup limit the input broke, if any
  std::string diagnostic;    // when doc is null: one safe line naming the file and the problem
  long errorLine = 0;        // when doc is null: the line and raw message of libxml2's error
  std::string errorMessage;  // (see XmlReports::errorLine), "" when it reported none
  std::vector<std::string> warnings;  // when doc is set: what libxml2 reported of the file
};

// Called with the parser's context before the parse, to change how it builds the tree.
using XmlParserSetup = void (*)(xmlParserCtxt* context);

// "PATH: problem", controls as '?', for a file that couldn't be opened or read: error is the errno
// value (EINVAL stands for "not a regular file", as openRegularFile gives it).
std::string fileProblem(std::string_view path, int error);

// Parses what fd reads, as it reads it, as the file at path (the name the diagnostic gives).
XmlFileParse parseXmlDescriptor(int fd, std::string_view path, int options,
                                XmlParserSetup setup = nullptr);

// openRegularFile, then parseXmlDescriptor: a FIFO, device, socket or directory is unreadable, and
// opening one never blocks.
XmlFileParse parseXmlFile(const std::string& path, int options, XmlParserSetup setup = nullptr);

// Parses a text in memory the same way. With XML_PARSE_RECOVER, doc holds what libxml2 made of
// the text up to where its input ended: the first error, or the byte that broke a markup limit.
XmlFileParse parseXmlText(std::string_view text, int options);

struct XmlDocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocHandle = std::unique_ptr<xmlDoc, XmlDocDeleter>;

struct XmlNodeDeleter {
  void operator()(xmlNode* node) const { xmlFreeNode(node); }
};
// A node that is no longer linked into any tree.
using XmlNodeHandle = std::unique_ptr<xmlNode, XmlNodeDeleter>;

struct XmlStringDeleter {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlStringHandle = std::unique_ptr<xmlChar, XmlStringDeleter>;

// The value of an attribute of a node, or null when the node has no such attribute.
inline XmlStringHandle attributeValue(const xmlNode* node, const char* name) {
  return XmlStringHandle(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
}

}  // namespace kyto::xml
