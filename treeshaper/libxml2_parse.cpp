#include "libxml2_parse.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "common/descriptors.h"
#include "common/safe_text.h"

namespace kyto::xml {

namespace {

// libxml2's input: the whole input, checked by the markup pass first, handed over in pieces of
// the size the parser asks for, so that the check for libxml2's first error comes between, and
// never past what the pass found passable.
struct ScannedInput {
  xmlParserCtxt* context = nullptr;
  std::string_view text;
  std::size_t passable = 0;
  bool cut = false;  // libxml2 asked for more than was passable
};

int readInput(void* context, char* buffer, int length) {
  auto& input = *static_cast<ScannedInput*>(context);
  // After libxml2's first error, or past what the pass vouches for, the input ends here.
  if (input.cut || input.context->wellFormed == 0 || length <= 0) return 0;
  if (input.passable == 0 && !input.text.empty()) {
    input.cut = true;
    return 0;
  }
  const std::size_t n = std::min(input.passable, static_cast<std::size_t>(length));
  std::memcpy(buffer, input.text.data(), n);
  input.text.remove_prefix(n);
  input.passable -= n;
  return static_cast<int>(n);
}

int closeInput(void* /*context*/) {
  return 0;  // the descriptor is closed by its owner
}

// The whole of what fd reads, or the errno of a failed read.
int readWhole(int fd, std::string& bytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
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
  const char* problem = inputProblem(error);
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

std::string XmlReports::lineOf(const xmlError& report, const std::string& message) const {
  std::string line = path_;
  if (report.line > 0) line += ":" + std::to_string(report.line);
  line += ": " + message;
  return withoutControls(line);
}

void XmlReports::keepWarning(const xmlError& report, const std::string& message) {
  if (warnings_.size() < kMostKeptWarnings) {
    warnings_.push_back(lineOf(report, message));
  } else if (warnings_.size() == kMostKeptWarnings) {
    warnings_.push_back(withoutControls(path_ + ": more warnings, not shown"));
  }
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
  try {
    std::string message = report.message != nullptr ? report.message : "parse failed";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    keepWarning(report, message);
    std::string& kept = error ? error_ : warning_;
    if (!kept.empty() && !(error && fatal && !errorFatal_)) return;
    kept = lineOf(report, message);
    if (error) {
      errorFatal_ = fatal;
      errorLine_ = report.line;
      errorMessage_ = std::move(message);
    }
  } catch (...) {
  }
}

namespace {

XmlFileParse parseScanned(std::string_view text, std::string_view path, int options,
                          XmlParserSetup setup) {
  XmlFileParse result;
  const MarkupCheck check = checkMarkup(text);
  ScannedInput input;
  input.text = text;
  input.passable = check.passable;
  const std::unique_ptr<xmlParserCtxt, ParserContext> context(xmlNewParserCtxt());
  if (context == nullptr) {
    result.diagnostic = fileProblem(path, ENOMEM);
    return result;
  }
  if (setup != nullptr) setup(context.get());
  input.context = context.get();
  std::string first;
  bool anyError = false;
  {
    const XmlReports reports(context.get(), path);
    const std::string url(path);
    result.doc =
        xmlCtxtReadIO(context.get(), readInput, closeInput, &input, url.c_str(), nullptr, options);
    first = reports.first();
    result.warnings = reports.warnings();
    result.errorLine = reports.errorLine();
    result.errorMessage = reports.errorMessage();
    anyError = reports.anyError();
    result.beyondLimits = reports.beyondLimits();
  }
  if (input.cut) {
    // What libxml2 said of the cut input follows from the cut.
    result.breach = check.breach;
    const bool malformed = check.breach == MarkupBreach::kMalformed;
    result.beyondLimits = !malformed;
    result.errorMessage = malformed ? check.fault : describeBreach(check.breach);
    first = withoutControls(std::string(path) + (malformed ? ":" : ": ") + result.errorMessage);
    result.errorLine = 0;
  }
  if ((options & XML_PARSE_RECOVER) != 0) return result;
  if (result.doc != nullptr && result.beyondLimits) {
    xmlFreeDoc(result.doc);
    result.doc = nullptr;
  }
  if (result.doc == nullptr) {
    // A failure without any error reported is of no known cause: nothing is said of the file.
    result.beyondLimits = result.beyondLimits || !anyError;
    result.diagnostic = first.empty() ? withoutControls(std::string(path) + ": not parsed") : first;
  }
  return result;
}

}  // namespace

XmlFileParse parseXmlDescriptor(int fd, std::string_view path, int options, XmlParserSetup setup) {
  std::string bytes;
  if (const int error = readWhole(fd, bytes); error != 0) {
    XmlFileParse result;
    result.readError = error;
    result.diagnostic = fileProblem(path, error);
    return result;
  }
  return parseScanned(bytes, path, options, setup);
}

XmlFileParse parseXmlText(std::string_view text, int options) {
  return parseScanned(text, "(text)", options, nullptr);
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

}  // namespace kyto::xml
