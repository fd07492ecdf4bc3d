// The check of the list's history: what of it can't be read, and a history that refuses every
// change.
#include <string>

#include "common/atomic_file.h"
#include "common/descriptors.h"
#include "common/list_history.h"
#include "config_check.h"

namespace kyto::clientadm {

namespace {

std::string cannotBeRead(int error, const char* consequence) {
  return std::string("cannot be read (") + inputProblem(error) + "): " + consequence;
}

const char* consequenceOf(const history::Problem& problem) {
  if (problem.file == history::kIndexName)
    return "the history is read from the records of its versions";
  if (history::classify(problem.file).kind == history::FileKind::Copy)
    return "its version can't be restored";
  return "its version is listed without its time, change and clients";
}

}  // namespace

void checkHistory(const std::string& listPath, CheckReport& report) {
  WriteTarget list;
  if (findWriteTarget(listPath, list) != 0) return;  // the list's own problem, reported with it
  const std::string dir = history::directoryPath(list);
  history::History history;
  if (const int error = history::readHistory(list, history); error != 0) {
    report.add(dir, 0,
               cannotBeRead(error,
                            "history and restore fail, and no change keeps the list it "
                            "replaces"));
    return;
  }
  for (const history::Problem& problem : history.problems) {
    report.add(dir + "/" + problem.file, 0, cannotBeRead(problem.error, consequenceOf(problem)));
  }
  if (!history.numbersLeft)
    report.add(dir + "/" + history::kIndexName, 0,
               "the highest version number has been given: every change of the list is refused");
}

}  // namespace kyto::clientadm
