#include "list_refusal.h"

#include <cerrno>
#include <cstring>

#include "common/appliance_paths.h"
#include "common/atomic_file.h"
#include "common/descriptors.h"
#include "common/list_history.h"
#include "common/missing_appliance.h"
#include "common/safe_text.h"
#include "xml_node.h"

namespace kyto::clientadm {

namespace {

// What the list's own reader finds of it now: the library refused it for that, and says no more
// than the class of the problem.
std::string readProblem(const std::string& path) {
  XMLNode::FileReport report;
  const XMLNode top = XMLNode::openFile(path.c_str(), report);
  if (report.error == XMLNode::kFileParsed) return "it has no UPNP_CLIENTS element";
  return (report.line > 0 ? "line " + std::to_string(report.line) + ": " : "") + report.problem;
}

// ENOMEM stands for entities that expand too far as well as for memory that ran out.
std::string memoryProblem(const std::string& path) {
  XMLNode::FileReport report;
  const XMLNode top = XMLNode::openFile(path.c_str(), report);
  return report.bound == XMLNode::kExpansionBound ? report.problem : inputProblem(ENOMEM);
}

// EPROTO: a document type that a rewrite would not keep, or that changes what a new client says.
std::string documentTypeProblem(const std::string& path) {
  XMLNode::FileReport report;
  const XMLNode top = XMLNode::openFile(path.c_str(), report);
  if (top.documentTypeExpanded())
    return "its document type uses parameter entities, which a rewrite would not keep as "
           "written";
  return "its document type gives CLIENT attributes defaults or types, which the new client "
         "would take on";
}

std::string historyPath(const std::string& path) {
  WriteTarget list;
  return findWriteTarget(path, list) == 0 ? history::directoryPath(list) : "";
}

std::string reasonFor(int why, const std::string& path) {
  switch (why) {
    case EBADMSG:
    case EFBIG:
    case ENOTSUP:
      return readProblem(path);
    case ENOMEM:
      return memoryProblem(path);
    case EMSGSIZE:
      static_assert(xml::kMostXmlFileBytes == 64 * 1024 * 1024, "the text names it");
      return "the new list would be larger than the 64 MiB the tools read";
    case EOVERFLOW:
      return "its history " + historyPath(path) + " has no version number left";
    case EPROTO:
      return documentTypeProblem(path);
    case E2BIG:
      return "a field of the client is longer than 4096 bytes or holds characters XML can't carry";
    default:
      return inputProblem(why);
  }
}

}  // namespace

std::string listRefusal(int why, bool forDelete) {
  if (why == 0 || (forDelete && why == ENOENT)) return {};
  const std::string& path = paths::appliancePaths().clientsXml;
  return withoutControls("clientadm: " + path + " was left as it was: " + reasonFor(why, path)) +
         "\n";
}

std::string missingConfigDirectoryHint() {
  return missingApplianceHint("clientadm", paths::appliancePaths().configDir);
}

}  // namespace kyto::clientadm
