#include <kytoutil/kytoutil.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "agent_process.h"
#include "client_record.h"
#include "common/appliance_paths.h"
#include "list_pipeline.h"
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
const char* macOf(const XMLNode::ChildElement& device, char (&formatted)[kMacTextSize]) {
  const char* text = device.getChildText("mac");
  char bytes[6];
  if (text == nullptr || convertMacStrToMacBinStr(text, bytes) != 0) return text;
  formatMacText(reinterpret_cast<const std::uint8_t*>(bytes), formatted);
  return formatted;
}

bool mergeDevice(void* list, const XMLNode::ChildElement& device) {
  char mac[kMacTextSize];
  // The result is ignored: a device that could not be merged must not hide the next ones.
  mergeClient(*static_cast<const ListContext*>(list), FromDmcSearchCache,
              {.mac = macOf(device, mac),
               .ip = device.getChildText("ip"),
               .deviceName = device.getChildText("deviceName")});
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

}  // namespace

int mergeAgentDevices(const char* text, const ListContext& context) {
  std::string copy = text != nullptr ? text : "";
  return mergeAgentDevices(copy, context);
}

int mergeAgentDevices(std::string& text, const ListContext& context) {
  // Walked in place as it is read, without a tree: an output of many devices costs its bytes.
  const bool found = XMLNode::forEachChildInText(text.data(), text.size(), "root", "device",
                                                 mergeDevice, const_cast<ListContext*>(&context));
  return found ? 0 : 1;
}

SourceReport readDmcSearchCache(const ListContext& context) {
  try {
    const auto deadline = std::chrono::steady_clock::now() + kAgentOutputDeadline;
    // The agent and all it started have ended before its output is parsed.
    AgentRun run = runInOwnProcessGroup(agentCommand(), deadline, kAgentOutputCap);
    if (!run.started) return {.status = 1, .warning = notStartedWarning(run.error)};
    AgentOutput& output = run.output;
    SourceReport report{.warning = cutWarning(output.cut)};
    if (output.text.empty()) return report;
    report.status = mergeAgentDevices(output.text, context);
    return report;
  } catch (const std::bad_alloc&) {
    return {.status = 1};
  }
}

}  // namespace kyto::clientadm
