#include "common/xml_diagnostics.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/regular_file.h"
#include "common/safe_text.h"
#include "common/unique_fd.h"

namespace kyto {

namespace {

// Read errors are recorded here: libxml2 would report them only as "Unknown IO error".
struct DescriptorInput {
  int fd = -1;
  int readError = 0;
};

int readInput(void* context, char* buffer, int length) {
  auto* input = static_cast<DescriptorInput*>(context);
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
      return error.message != nullptr && std::strstr(error.message, "too big") != nullptr;
    default:
      return false;
  }
}

struct ParserContext {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

}  // namespace

std::string fileProblem(std::string_view path, int error) {
  const char* problem = error == EINVAL ? "not a regular file" : std::strerror(error);
  std::string line(path);
  line += ": ";
  line += problem;
  return withoutControls(line);
}

XmlReports::XmlReports(xmlParserCtxt* context, std::string_view path)
    : context_(context),
      path_(path),
      savedHandler_(xmlStructuredError),
      savedHandlerData_(xmlStructuredErrorContext) {
  // libxml2 hands the context's handler the context itself, which leads back here.
  context->_private = this;
  context->sax->serror = recordForContext;
  xmlSetStructuredErrorFunc(this, recordForThread);
}

XmlReports::~XmlReports() {
  context_->sax->serror = nullptr;
  context_->_private = nullptr;
  xmlSetStructuredErrorFunc(savedHandlerData_, savedHandler_);
}

void XmlReports::recordForContext(void* context, xmlError* report) {
  auto* self = static_cast<XmlReports*>(static_cast<xmlParserCtxt*>(context)->_private);
  if (report != nullptr) self->record(*report);
}

void XmlReports::recordForThread(void* self, xmlError* report) {
  if (report != nullptr) static_cast<XmlReports*>(self)->record(*report);
}

// Called from libxml2: nothing may be thrown out of it. Without memory for the line the report is
// lost, and the parse result still tells.
void XmlReports::record(const xmlError& report) noexcept {
  // The errors after the first mostly follow from it, so the first decides; but memory running
  // out anywhere spoils the whole result.
  if (report.level >= XML_ERR_ERROR) {
    if (!anyError_ || report.code == XML_ERR_NO_MEMORY)
      beyondLimits_ = beyondLimits_ || isBeyondLimits(report);
    anyError_ = true;
  }
  const bool fatal = report.level == XML_ERR_FATAL;
  const bool error = report.level >= XML_ERR_ERROR;
  std::string& kept = error ? error_ : warning_;
  if (!kept.empty() && !(error && fatal && !errorFatal_)) return;
  try {
    std::string message = report.message != nullptr ? report.message : "parse failed";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    std::string line = path_;
    if (report.line > 0) line += ":" + std::to_string(report.line);
    line += ": " + message;
    kept = withoutControls(line);
    if (error) {
      errorFatal_ = fatal;
      errorLine_ = report.line;
      errorMessage_ = std::move(message);
    }
  } catch (...) {
  }
}

XmlFileParse parseXmlDescriptor(int fd, std::string_view path, int options,
                                XmlParserSetup setup) {
  XmlFileParse result;
  const std::unique_ptr<xmlParserCtxt, ParserContext> context(xmlNewParserCtxt());
  if (context == nullptr) {
    result.diagnostic = fileProblem(path, ENOMEM);
    return result;
  }
  if (setup != nullptr) setup(context.get());
  DescriptorInput input{fd, 0};
  std::string first;
  bool anyError = false;
  {
    const XmlReports reports(context.get(), path);
    const std::string url(path);
    result.doc =
        xmlCtxtReadIO(context.get(), readInput, closeInput, &input, url.c_str(), nullptr, options);
    first = reports.first();
    result.errorLine = reports.errorLine();
    result.errorMessage = reports.errorMessage();
    anyError = reports.anyError();
    result.beyondLimits = reports.beyondLimits();
  }
  if (input.readError != 0 || (result.doc != nullptr && result.beyondLimits)) {
    xmlFreeDoc(result.doc);
    result.doc = nullptr;
  }
  if (input.readError != 0) {
    result.readError = input.readError;
    result.beyondLimits = false;
    result.diagnostic = fileProblem(path, input.readError);
  } else if (result.doc == nullptr) {
    // A failure without any error reported is of no known cause: nothing is said of the file.
    result.beyondLimits = result.beyondLimits || !anyError;
    result.diagnostic = first.empty() ? withoutControls(std::string(path) + ": not parsed") : first;
  }
  return result;
}

XmlFileParse parseXmlFile(const std::string& path, int options, XmlParserSetup setup) {
  UniqueFd fd;
  if (const int error = openRegularFile(path, fd); error != 0) {
    XmlFileParse result;
    result.readError = error;
    result.diagnostic = fileProblem(path, error);
    return result;
  }
  return parseXmlDescriptor(fd.get(), path, options, setup);
}

}  // namespace kyto
