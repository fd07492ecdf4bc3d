#include "dmc_search_cache.h"

#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>

#include "agent_output.h"
#include "agent_process.h"
#include "common/appliance_paths.h"
#include "common/brix_process.h"
#include "server_settings.h"
#include "xml_node.h"

namespace kyto::clientadm {

namespace {

std::FILE* startAgent() {
  const std::string agent = paths::appliancePaths().halyardAgent;
  if (access(agent.c_str(), X_OK) == 0)
    return brix_popen("r", agent.c_str(), "-c", "list", static_cast<const char*>(nullptr));
  // The fallback goes as one command line, which the helper splits at blanks.
  const std::string commandLine = paths::appliancePaths().halyardFallback + " -c list";
  return brix_popen("r", commandLine.c_str(), static_cast<const char*>(nullptr));
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
    const AgentRun run = runAgentInOwnGroup(startAgent, deadline, kAgentOutputCap);
    if (!run.started) return 1;
    if (run.output.empty()) return 0;
    return mergeAgentDevices(run.output.c_str(), sink);
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

}  // namespace kyto::clientadm
