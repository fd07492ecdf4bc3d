#include "xml_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/descriptors.h"
#include "common/safe_text.h"

namespace kyto::xml {

namespace {

constexpr std::size_t kReadBytes = 64 * 1024;

int XMLCALL refuseNotStandalone(void* /*userData*/) {
  return XML_STATUS_ERROR;
}

void setBeyondLimits(XMLNode::FileReport& report, XMLNode::Bound bound, std::string problem) {
  report.error = XMLNode::kFileBeyondLimits;
  report.bound = bound;
  report.problem = std::move(problem);
}

void setUnreadable(XMLNode::FileReport& report, int error) {
  report.error = XMLNode::kFileUnreadable;
  report.readError = error;
  report.problem = error == EINVAL ? "not a regular file" : std::strerror(error);
}

void setTooLarge(XMLNode::FileReport& report) {
  static_assert(kMostXmlFileBytes == 64 * 1024 * 1024, "the text names it");
  setBeyondLimits(report, XMLNode::kSizeBound, "larger than the 64 MiB the tools read");
}

}  // namespace

void refuseOutsideDeclarations(XML_Parser parser) {
  XML_SetNotStandaloneHandler(parser, refuseNotStandalone);
}

bool feedFile(const char* path, XmlStream& stream, XMLNode::FileReport& report) {
  UniqueFd fd;
  if (const int error = openRegularFile(path, fd); error != 0) {
    setUnreadable(report, error);
    return false;
  }
  struct stat st;
  if (fstat(fd.get(), &st) == 0 && static_cast<std::size_t>(st.st_size) > kMostXmlFileBytes) {
    setTooLarge(report);
    return false;
  }
  char buffer[kReadBytes];
  std::size_t total = 0;
  for (;;) {
    const ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      setUnreadable(report, errno);
      return false;
    }
    total += static_cast<std::size_t>(n);
    if (total > kMostXmlFileBytes) {
      setTooLarge(report);
      return false;
    }
    if (!stream.feed(std::string_view(buffer, static_cast<std::size_t>(n)), n == 0)) {
      reportFailure(stream, report);
      return false;
    }
    if (n == 0) return true;
  }
}

bool feedBytes(std::string_view bytes, XmlStream& stream, XMLNode::FileReport& report) {
  if (bytes.size() > kMostXmlFileBytes) {
    setTooLarge(report);
    return false;
  }
  if (stream.feed(bytes, true)) return true;
  reportFailure(stream, report);
  return false;
}

void reportFailure(const XmlStream& stream, XMLNode::FileReport& report) {
  switch (stream.failure()) {
    case XmlStream::Failure::kNone:
      return;
    case XmlStream::Failure::kMemory:
      return setBeyondLimits(report, XMLNode::kMemoryBound, stream.problem());
    case XmlStream::Failure::kUnknownEncoding:
      return setBeyondLimits(report, XMLNode::kEncodingBound, stream.problem());
    case XmlStream::Failure::kBadBytes:
    case XmlStream::Failure::kParse:
      break;
  }
  switch (XML_GetErrorCode(stream.parser())) {
    case XML_ERROR_NOT_STANDALONE:
      return setBeyondLimits(report, XMLNode::kOutsideBound,
                             "it needs declarations from outside the file (an external subset or "
                             "parameter entities), which the tools never read");
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH:
      return setBeyondLimits(report, XMLNode::kExpansionBound,
                             "its entities expand beyond the bounds the tools read within");
    default:
      break;
  }
  report.error = XMLNode::kFileMalformed;
  report.line = stream.failureLine();
  report.problem = stream.problem();
}

std::string diagnosticOf(const char* path, const XMLNode::FileReport& report) {
  std::string line(path);
  if (report.line > 0) line += ":" + std::to_string(report.line);
  line += ": " + report.problem;
  return withoutControls(line);
}

}  // namespace kyto::xml

int XMLNode::FileReport::errorNumber() const {
  switch (error) {
    case kFileUnreadable:
      return readError;
    case kFileBeyondLimits:
      break;
    default:
      return 0;
  }
  switch (bound) {
    case kSizeBound:
      return EFBIG;
    case kEncodingBound:
    case kOutsideBound:
      return ENOTSUP;
    default:
      return ENOMEM;
  }
}
