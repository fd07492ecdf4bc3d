#include <kytoutil/kytoutil.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "agent_process.h"
#include "agent_search.h"
#include "client_record.h"
#include "common/appliance_paths.h"
#include "common/safe_text.h"
#include "xml_node.h"

namespace kyto::clientadm {

namespace {

// The agent at the preferred path when that is executable, else at the fallback path, with the
// arguments "-c" and "list". clientadm starts it itself rather than through the appliance's
// process helper, which can't give it a process group of its own.
std::vector<std::string> agentCommand() {
  const paths::AppliancePaths& where = paths::appliancePaths();
  const std::string& agent =
      access(where.halyardAgent.c_str(), X_OK) == 0 ? where.halyardAgent : where.halyardFallback;
  return {agent, "-c", "list"};
}

// A MAC text that the library reads as a valid address is listed and merged in the form the
// other sources give, so that the agent's 00:1D:5A:10:22:01 is the stored 00:1d:5a:10:22:01.
// Any other text stays as the agent printed it.
// The texts of a device that the list shows, in the order the walk asks for them.
enum DeviceText { kMacText, kIpText, kNameText, kDeviceTexts };
constexpr const char* kDeviceTextNames[kDeviceTexts] = {"mac", "ip", "deviceName"};

const char* macOf(const char* text, char (&formatted)[kMacTextSize]) {
  char bytes[6];
  if (text == nullptr || convertMacStrToMacBinStr(text, bytes) != 0) return text;
  formatMacText(reinterpret_cast<const std::uint8_t*>(bytes), formatted);
  return formatted;
}

bool mergeDevice(void* list, const char* const* text) {
  char mac[kMacTextSize];
  // The result is ignored: a device that could not be merged must not hide the next ones.
  mergeClient(
      *static_cast<const ListContext*>(list), FromDmcSearchCache,
      {.mac = macOf(text[kMacText], mac), .ip = text[kIpText], .deviceName = text[kNameText]});
  return true;
}

std::string cutWarning(OutputCut cut) {
  static_assert(kAgentOutputCap == 16 * 1024 * 1024 && kAgentOutputDeadline.count() == 10,
                "the warnings name the limits");
  switch (cut) {
    case OutputCut::AtSizeCap:
      return "Warning: the agent's output was cut at its 16 MiB size cap; the devices before the "
             "cut are listed\n";
    case OutputCut::AtTimeLimit:
      return "Warning: the agent's output was cut at its 10 s time limit; the devices before the "
             "cut are listed\n";
    case OutputCut::None:
      break;
  }
  return {};
}

// An appliance without the agent lists no searched device, as it always did; an agent that is
// there but could not be started (too many open files, say) is said.
std::string notStartedWarning(int error) {
  if (error == ENOENT) return {};
  return std::string("clientadm: the DMC agent could not be started (") + std::strerror(error) +
         "): no device of its search cache is listed\n";
}

// What ended the listing of the agent's devices early: XML at fault, or one of the reader's
// bounds (entities that expand too far, memory), which says nothing against the XML.
std::string faultWarning(const XMLNode::FileReport& fault) {
  std::string what;
  if (fault.error == XMLNode::kFileMalformed) {
    what = "is not well-formed XML (";
    if (fault.line > 0) what += "line " + std::to_string(fault.line) + ": ";
  } else if (fault.error == XMLNode::kFileBeyondLimits) {
    what = "could not be read to its end (";
  } else {
    return {};
  }
  return withoutControls("Warning: the agent's output " + what + fault.problem +
                         "); the devices before that point are listed") +
         "\n";
}

}  // namespace

SourceReport mergeAgentDevices(std::string_view text, const ListContext& context, bool whole) {
  // Each device is merged as its end tag is read, without a tree: what comes before a fault in
  // the output is listed.
  XMLNode::FileReport fault;
  const bool found =
      XMLNode::forEachChildInText(text, "root", "device", kDeviceTextNames, kDeviceTexts,
                                  mergeDevice, const_cast<ListContext*>(&context), &fault, whole);
  return {.status = found ? 0 : 1, .warning = faultWarning(fault)};
}

SourceReport readDmcSearchCache(const ListContext& context) {
  try {
    const std::vector<std::string> command = agentCommand();
    // No agent, as on a machine without one, costs no process (nor a look at the clock).
    if (access(command.front().c_str(), X_OK) != 0)
      return {.status = 1, .warning = notStartedWarning(errno)};
    const auto deadline = std::chrono::steady_clock::now() + kAgentOutputDeadline;
    // The agent and all it started have ended before its output is parsed.
    AgentRun run = runInOwnProcessGroup(command, deadline, kAgentOutputCap);
    if (!run.started) return {.status = 1, .warning = notStartedWarning(run.error)};
    AgentOutput& output = run.output;
    if (output.text.empty()) return {.warning = cutWarning(output.cut)};
    // A cut output ends in the middle of its XML, which is no fault of its own: the cut says why
    // the devices after it are missing, unless a fault before it ended the listing first.
    const bool whole = output.cut == OutputCut::None;
    SourceReport report = mergeAgentDevices(output.text, context, whole);
    if (!whole && report.warning.empty()) report.warning = cutWarning(output.cut);
    return report;
  } catch (const std::bad_alloc&) {
    return {.status = 1};
  }
}

}  // namespace kyto::clientadm
