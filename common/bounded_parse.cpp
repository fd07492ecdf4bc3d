#include "common/bounded_parse.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "common/unique_fd.h"

namespace kyto::xml {

namespace {

// libxml2's input: a file read as the parser asks for more, or a text handed over in pieces
// of the size the parser asks for, so that the scanner and the error check come between.
struct ScannedInput {
  xmlParserCtxtPtr context = nullptr;
  int fd = -1;
  std::string_view text;
  MarkupScanner scanner;
  int readError = 0;
  bool cut = false;
};

int readRaw(ScannedInput& input, char* buffer, int length) {
  if (input.fd < 0) {
    const std::size_t n = std::min(input.text.size(), static_cast<std::size_t>(length));
    std::memcpy(buffer, input.text.data(), n);
    input.text.remove_prefix(n);
    return static_cast<int>(n);
  }
  for (;;) {
    const ssize_t n = read(input.fd, buffer, static_cast<std::size_t>(length));
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) {
      input.readError = errno;
      return -1;
    }
  }
}

int readScanned(void* context, char* buffer, int length) {
  auto& input = *static_cast<ScannedInput*>(context);
  // After libxml2's first error, or once a limit is broken, the input ends here.
  if (input.cut || input.context->wellFormed == 0 || length <= 0) return 0;
  const int n = readRaw(input, buffer, length);
  if (n <= 0) return n;
  const std::size_t passed = input.scanner.scan(buffer, static_cast<std::size_t>(n));
  input.cut = passed < static_cast<std::size_t>(n);
  return static_cast<int>(passed);
}

int closeNothing(void* /*context*/) {
  return 0;  // the descriptor is closed by its owner
}

struct ContextFree {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

ParseResult parseScanned(ScannedInput& input, const char* url, int options) {
  ParseResult result;
  std::unique_ptr<xmlParserCtxt, ContextFree> context(xmlNewParserCtxt());
  if (!context) return result;
  input.context = context.get();
  result.doc =
      xmlCtxtReadIO(context.get(), readScanned, closeNothing, &input, url, nullptr, options);
  if (input.readError != 0) {
    result.outcome = ParseOutcome::kUnreadable;
  } else if (input.cut) {
    result.outcome = ParseOutcome::kBeyondLimits;
    result.breach = input.scanner.breach();
  } else if (result.doc != nullptr && context->wellFormed != 0) {
    result.outcome = ParseOutcome::kParsed;
  }
  // Recovery keeps what was parsed; without it only a whole document is kept.
  if (result.outcome != ParseOutcome::kParsed && (options & XML_PARSE_RECOVER) == 0 &&
      result.doc != nullptr) {
    xmlFreeDoc(result.doc);
    result.doc = nullptr;
  }
  return result;
}

}  // namespace

ParseResult parseFileWithinLimits(const char* path, int options) {
  ScannedInput input;
  const UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return ParseResult{nullptr, ParseOutcome::kUnreadable, MarkupBreach::kNone};
  input.fd = fd.get();
  return parseScanned(input, path, options);
}

ParseResult parseTextWithinLimits(std::string_view text, int options) {
  ScannedInput input;
  input.text = text;
  return parseScanned(input, nullptr, options);
}

}  // namespace kyto::xml
