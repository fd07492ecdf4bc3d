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

// expat hands every reference to an external entity here; none is ever read. One in content, or
// to a parameter entity, stays as it stands, for the default handler: the external subset is
// reported at the document type's close, a token of one character, a reference by at least three.
// The external subset and an external parameter entity are taken as read and empty: expat then
// asks refuseNotStandalone about the document, and a standalone one goes on with the declarations
// after them.
int XMLCALL skipExternalEntity(XML_Parser parser, const XML_Char* context, const XML_Char* /*base*/,
                               const XML_Char* /*systemId*/, const XML_Char* /*publicId*/) {
  constexpr int kMostSubsetTokenBytes = 2;  // ">" in UTF-16
  if (context != nullptr || XML_GetCurrentByteCount(parser) > kMostSubsetTokenBytes)
    XML_DefaultCurrent(parser);
  if (context != nullptr) return XML_STATUS_OK;
  XML_Parser entity = XML_ExternalEntityParserCreate(parser, nullptr, nullptr);
  if (entity == nullptr) return XML_STATUS_ERROR;  // no memory
  const XML_Status read = XML_Parse(entity, "", 0, XML_TRUE);
  XML_ParserFree(entity);
  return read;
}

void setBeyondLimits(XMLNode::FileReport& report, XMLNode::Bound bound, std::string problem) {
  report.error = XMLNode::kFileBeyondLimits;
  report.bound = bound;
  report.problem = std::move(problem);
}

void setUnreadable(XMLNode::FileReport& report, int error) {
  report.error = XMLNode::kFileUnreadable;
  report.readError = error;
  report.problem = inputProblem(error);
}

void setTooLarge(XMLNode::FileReport& report) {
  static_assert(kMostXmlFileBytes == 64 * 1024 * 1024, "the text names it");
  setBeyondLimits(report, XMLNode::kSizeBound, "larger than the 64 MiB the tools read");
}

// Reads up to size bytes; how many, or -1 with errno set.
ssize_t readUpTo(int fd, char* into, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, into + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

// Feeds what the file holds beyond its first read, piece by piece, total bytes having been
// read before.
bool feedRest(int fd, std::size_t total, XmlStream& stream, XMLNode::FileReport& report) {
  char buffer[kReadBytes];
  for (;;) {
    const ssize_t n = readUpTo(fd, buffer, sizeof buffer);
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

}  // namespace

void readOwnDeclarations(XML_Parser parser) {
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_ALWAYS);
  XML_SetExternalEntityRefHandler(parser, skipExternalEntity);
}

void refuseOutsideDeclarations(XML_Parser parser) {
  readOwnDeclarations(parser);
  XML_SetNotStandaloneHandler(parser, refuseNotStandalone);
}

std::size_t fileSizeHint(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  const auto size = static_cast<std::size_t>(st.st_size);
  return size <= kMostXmlFileBytes ? size : 0;
}

// The file is read into the parser's own buffer and parsed in one go: a large list is neither
// copied nor parsed in pieces. Whatever it grew by meanwhile follows piece by piece.
bool feedFile(const char* path, XmlStream& stream, XMLNode::FileReport& report) {
  UniqueFd fd;
  if (const int error = openRegularFile(path, fd); error != 0) {
    setUnreadable(report, error);
    return false;
  }
  struct stat st;
  if (fstat(fd.get(), &st) != 0) {
    setUnreadable(report, errno);
    return false;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  if (size > kMostXmlFileBytes) {
    setTooLarge(report);
    return false;
  }
  if (size == 0) return feedRest(fd.get(), 0, stream, report);  // empty, or a size nobody knows
  char* room = stream.bufferFor(size);
  if (room == nullptr) {
    reportFailure(stream, report);
    if (report.error == XMLNode::kFileUnreadable)
      setBeyondLimits(report, XMLNode::kMemoryBound, "memory ran out");
    return false;
  }
  const ssize_t got = readUpTo(fd.get(), room, size);
  char more = 0;
  const ssize_t over = got < 0 ? -1 : readUpTo(fd.get(), &more, 1);
  if (over < 0) {
    setUnreadable(report, errno);
    return false;
  }
  // expat parses a document it is told is whole in far fewer steps.
  if (!stream.parseInPlace(static_cast<std::size_t>(got), over == 0)) {
    reportFailure(stream, report);
    return false;
  }
  if (over == 0) return true;
  if (!stream.feed(std::string_view(&more, 1), false)) {
    reportFailure(stream, report);
    return false;
  }
  return feedRest(fd.get(), static_cast<std::size_t>(got) + 1, stream, report);
}

bool feedBytes(std::string_view bytes, XmlStream& stream, XMLNode::FileReport& report, bool whole) {
  if (bytes.size() > kMostXmlFileBytes) {
    setTooLarge(report);
    return false;
  }
  if (stream.feed(bytes, whole)) return true;
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
  if (stream.setup().metUndeclaredParameterEntity())
    return setBeyondLimits(report, XMLNode::kOutsideBound,
                           "it needs declarations from outside the file (a parameter entity it "
                           "does not declare), which the tools never read");
  switch (XML_GetErrorCode(stream.parser())) {
    case XML_ERROR_NOT_STANDALONE:
      return setBeyondLimits(report, XMLNode::kOutsideBound,
                             "it needs declarations from outside the file (an external subset or "
                             "external parameter entities), which the tools never read");
    case XML_ERROR_EXTERNAL_ENTITY_HANDLING:  // skipExternalEntity had no memory
      return setBeyondLimits(report, XMLNode::kMemoryBound, "memory ran out");
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
