#include "config_document.h"

#include <cerrno>

namespace kyto::clientadm {

ConfigDocument readConfigDocument(const std::string& path) {
  XMLNode::FileReport report;
  ConfigDocument document;
  document.top = XMLNode::openFile(path.c_str(), report, true);
  switch (report.error) {
    case XMLNode::kFileParsed:
    case XMLNode::kFileTagMissing:
      document.outcome = ConfigDocument::Outcome::Parsed;
      break;
    case XMLNode::kFileUnreadable:
      document.outcome = report.readError == ENOENT ? ConfigDocument::Outcome::Missing
                                                    : ConfigDocument::Outcome::Unreadable;
      document.error = report.readError;
      break;
    case XMLNode::kFileMalformed:
      document.outcome = ConfigDocument::Outcome::Malformed;
      document.errorLine = report.line;
      document.message = report.problem;
      break;
    case XMLNode::kFileBeyondLimits:
      document.outcome = ConfigDocument::Outcome::BeyondLimits;
      document.message = report.problem;
      document.bound = report.bound;
      break;
  }
  return document;
}

const char* adviceFor(XMLNode::Bound bound) {
  switch (bound) {
    case XMLNode::kSizeBound:
      return "make it smaller";
    case XMLNode::kEncodingBound:
      return "save it as UTF-8";
    case XMLNode::kMemoryBound:
      return "run check again with more memory free";
    case XMLNode::kNoBound:
      break;
  }
  return "look at the file";
}

std::optional<std::string> attributeValue(const XMLNode& element, const char* name) {
  const char* value = element.getAttribute(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace kyto::clientadm
