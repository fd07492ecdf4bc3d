#include "config_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "common/appliance_paths.h"
#include "common/exclusive_lock.h"
#include "common/safe_text.h"
#include "name_suggestion.h"

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
    case XMLNode::kOutsideBound:
      return "write the declarations it needs into the file itself, without parameter entities";
    case XMLNode::kExpansionBound:
      return "make its entities expand less";
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

void CheckReport::add(std::string_view path, long line, std::string_view text) {
  std::string entry(path);
  entry.append(":").append(std::to_string(line)).append(": ").append(text);
  lines_.push_back(withoutControls(entry));
}

void CheckReport::print(std::FILE* out) const {
  for (const std::string& line : lines_) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
  }
}

void reportUnknownAttributes(const CheckedElement& entry, std::string_view elementName,
                             const std::vector<std::string_view>& known) {
  for (const auto& [attributeName, value] : entry.element.getAttributes()) {
    const std::string_view name = attributeName;
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    entry.problem(std::string(elementName) + " attribute " + quoted(name) +
                  " is unknown: it is ignored" + suggestion(name, known));
  }
}

std::string quoted(std::string_view value) {
  std::string text("\"");
  text.append(value).append("\"");
  return text;
}

namespace {

// The list is read under its lock, which writers take, and checked after the lock is given up:
// a check of a large list must not hold every writer off while it works. The history is checked
// under the lock too, so that no change removes a file of it while it is read.
ConfigDocument readListUnderLock(const kyto::paths::AppliancePaths& paths, CheckReport& report,
                                 CheckReport& historyReport) {
  const ClientListLock lock(paths.clientsLock);
  if (!lock.held())
    report.add(paths.clientsLock, 0,
               std::string("cannot be locked (") + std::strerror(lock.error()) +
                   "): list shows no stored client, add and del fail");
  checkHistory(paths.clientsXml, historyReport);
  // Writers replace the list by renaming a complete file over it, so it is read whole even
  // without the lock.
  return readConfigDocument(paths.clientsXml);
}

}  // namespace

int checkConfiguration(std::FILE* out) {
  const kyto::paths::AppliancePaths& paths = kyto::paths::appliancePaths();
  CheckReport catalogueReport;
  const auto catalogueNames = checkClientTypes(paths.clientTypesXml, catalogueReport);
  CheckReport report;
  CheckReport historyReport;
  const ConfigDocument list = readListUnderLock(paths, report, historyReport);
  checkClientList(paths.clientsXml, list, catalogueNames ? &*catalogueNames : nullptr, report);
  report.print(out);
  historyReport.print(out);
  catalogueReport.print(out);
  return report.empty() && historyReport.empty() && catalogueReport.empty() ? 0 : 1;
}

}  // namespace kyto::clientadm
