#include "history_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "common/appliance_paths.h"
#include "common/atomic_file.h"
#include "common/client_schema.h"
#include "common/descriptors.h"
#include "common/exclusive_lock.h"
#include "common/list_history.h"
#include "common/safe_text.h"
#include "xml_node.h"

namespace kyto::clientadm {

namespace {

void complain(const std::string& line) {
  std::fputs(("clientadm: " + withoutControls(line) + "\n").c_str(), stderr);
}

std::string reason(int error) {
  return std::string(" (") + std::strerror(error) + ")";
}

void complainNotKept(const std::string& where, int error) {
  complain("the list this change replaced was not kept in its history " + where +
           (error != 0 ? reason(error) : std::string()));
}

void complainNoNumberLeft(const std::string& where) {
  complain("the history " + where + " has no version number left: the change is refused");
}

// The list's history, read under the list's lock, which the caller took. False, said with its
// consequence, when the lock was not taken or the history's directory can't be read.
bool readLockedHistory(const ClientListLock& lock, const char* consequence, WriteTarget& list,
                       history::History& history) {
  if (!lock.held()) {
    complain("the client list could not be locked" + reason(lock.error()) + ": " + consequence);
    return false;
  }
  // Where the history is, for messages: its directory, or the list when even that is not found.
  const std::string& listPath = paths::appliancePaths().clientsXml;
  int error = findWriteTarget(listPath, list);
  const std::string where = error == 0 ? history::directoryPath(list) : "of " + listPath;
  if (error == 0) error = history::readHistory(list, history);
  if (error != 0) {
    complain("the history " + where + " can't be read" + reason(error));
    return false;
  }
  return true;
}

std::string historyLine(const history::Version& v) {
  return std::to_string(v.number) + "|" + v.time + "|" + listingField(v.change) + "|" +
         std::to_string(v.clients) + "\n";
}

std::string historyObject(const history::Version& v) {
  std::string object = "{\"number\":" + std::to_string(v.number) + ",\"time\":";
  appendJsonString(object, v.time);
  object += ",\"change\":";
  appendJsonString(object, v.change);
  object += ",\"clients\":" + std::to_string(v.clients) + "}";
  return object;
}

std::string historyText(const history::History& history, ListingFormat format) {
  const auto& versions = history.versions;
  if (format == ListingFormat::Text) {
    std::string text;
    for (auto v = versions.rbegin(); v != versions.rend(); ++v) text += historyLine(*v);
    return text;
  }
  if (versions.empty()) return "[]\n";
  std::string text = "[\n";
  for (auto v = versions.rbegin(); v != versions.rend(); ++v) {
    text += historyObject(*v);
    text += std::next(v) != versions.rend() ? ",\n" : "\n]\n";
  }
  return text;
}

// How many clients a list holds, as add and del find them: its root UPNP_CLIENTS element's
// CLIENT entries; -1 for a document that is no such list.
long clientsOf(const XMLNode& top) {
  const XMLNode clients = top.getChildNode(schema::kListElement);
  return clients.isEmpty() ? -1 : clients.nChildNode(schema::kClientElement);
}

// Why a version can't be restored, or empty when it can: bytes then hold it, clients its count.
std::string refusalOf(const WriteTarget& list, const history::Version* v, std::string& bytes,
                      long& clients) {
  if (v == nullptr) return "is not in the history";
  if (v->isEdit()) return "was not kept: the list was changed by hand";
  if (v->notKept != 0) return "was not kept" + reason(v->notKept);
  // A regular file, never through a link, no larger than the tools read.
  if (const int error = history::readVersion(list, v->number, xml::kMostXmlFileBytes, bytes);
      error != 0)
    return "can't be read" + reason(error);
  XMLNode::FileReport report;
  const XMLNode top = XMLNode::parseDocument(bytes, report);
  if (top.isEmpty()) return "is no client list (" + report.problem + ")";
  clients = clientsOf(top);
  if (clients < 0) return "is no client list (it has no root element UPNP_CLIENTS)";
  return {};
}

// How many clients the current list holds, -1 when it reads as no list.
long currentClients(const std::string& listPath) {
  int error = 0;
  const XMLNode top = XMLNode::openFileHelper(listPath.c_str(), &error);
  return error == 0 ? clientsOf(top) : -1;
}

}  // namespace

int printHistory(ListingFormat format, std::FILE* out) {
  const ClientListLock lock(paths::appliancePaths().clientsLock);
  WriteTarget list;
  history::History history;
  if (!readLockedHistory(lock, "its history is not read", list, history)) return 1;
  for (const history::Problem& problem : history.problems)
    complain("the history's file " + history::directoryPath(list) + "/" + problem.file +
             " can't be read" + reason(problem.error) + "; the rest is read");
  const std::string text = historyText(history, format);
  std::fwrite(text.data(), 1, text.size(), out);
  return 0;
}

int restoreVersion(long number) {
  const paths::AppliancePaths& paths = paths::appliancePaths();
  const ClientListLock lock(paths.clientsLock);
  WriteTarget list;
  history::History history;
  if (!readLockedHistory(lock, "nothing is restored", list, history)) return 1;
  std::string bytes;
  long clients = 0;
  const std::string refusal =
      refusalOf(list, history::findVersion(history, number), bytes, clients);
  if (!refusal.empty()) {
    complain("version " + std::to_string(number) + " " + refusal + ": nothing is restored");
    return 1;
  }
  int notKept = 0;
  const int error =
      history::replaceList(list, bytes, history::changeText("restore", std::to_string(number)),
                           currentClients(paths.clientsXml), clients, &notKept);
  if (error == EOVERFLOW) {
    complainNoNumberLeft(history::directoryPath(list));
    return 1;
  }
  if (error != 0) {
    complain("the client list could not be written" + reason(error) + ": nothing is restored");
    return 1;
  }
  if (notKept != 0) complainNotKept(history::directoryPath(list), notKept);
  return 0;
}

int changeWatchingHistory(std::string_view verb, const char* mac,
                          const std::function<int()>& change) {
  WriteTarget list;
  if (findWriteTarget(paths::appliancePaths().clientsXml, list) != 0) return change();
  struct stat st;
  const bool replacesList = list.stat(&st) == 0 && S_ISREG(st.st_mode);
  const int status = change();
  // A refusal is said by the caller, from errno, which the look at the history must not change.
  if (!replacesList || status != 0) return status;
  history::LastChange last;
  const int error = history::readLastChange(list, last);
  const std::string where = history::directoryPath(list);
  if (error != 0) {
    complainNotKept(where, error);
  } else if (last.wroteList && last.change == history::changeText(verb, mac)) {
    if (last.notKept != 0) complainNotKept(where, last.notKept);
  } else if (!last.wroteList || last.change.empty()) {
    // No version of this change; a list written by another change since says nothing of it.
    complainNotKept(where, 0);
  }
  return status;
}

}  // namespace kyto::clientadm
