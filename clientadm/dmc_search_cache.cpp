#include "dmc_search_cache.h"

#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "agent_output.h"
#include "agent_process.h"
#include "common/appliance_paths.h"
#include "server_settings.h"
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

// The first text of the first child of that name, or null.
const char* childText(const XMLNode& device, const char* name) {
  XMLNode child = device.getChildNode(name);
  return child.isEmpty() ? nullptr : child.getText(0);
}

}  // namespace

int mergeAgentDevices(const char* text, ClientSink sink) {
  XMLNode root = XMLNode::parseString(text, "root", nullptr);
  if (root.isEmpty()) return 1;
  const int count = root.nChildNode("device");
  for (int i = 0; i < count; ++i) {
    XMLNode device = root.getChildNode("device", i);
    // The result is ignored: a device that could not be merged must not hide the next ones.
    sink(childText(device, "mac"), childText(device, "ip"), childText(device, "deviceName"),
         nullptr, -1, nullptr, FromDmcSearchCache, denyAnonymous);
  }
  root.deleteNodeContent();
  return 0;
}

int readDmcSearchCache(ClientSink sink) {
  try {
    const auto deadline = std::chrono::steady_clock::now() + kAgentOutputDeadline;
    // The agent and all it started have ended before its output is parsed.
    const AgentRun run = runInOwnProcessGroup(agentCommand(), deadline, kAgentOutputCap);
    if (!run.started) return 1;
    if (run.output.empty()) return 0;
    return mergeAgentDevices(run.output.c_str(), sink);
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

}  // namespace kyto::clientadm
