// Running the DMC agent in a process group of its own, so that list can end it together with
// whatever it leaves behind, whichever process helper starts it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace kyto::clientadm {

struct AgentRun {
  bool started = false;  // the process helper gave a stream
  std::string output;    // what the agent printed, within the cap and the deadline
};

// Starts the agent with start() (which calls the process helper) in a child of clientadm that
// leads a new process group, so the agent and its children join that group. The child passes the
// agent's output on until end of file, or until the agent has exited and what it wrote is read
// (a child it left behind may hold its output open), or the cap or the deadline. Then the whole
// group is killed and reaped: clientadm becomes a subreaper, so that members whose parent died
// are reaped here too. Nothing the agent started stays behind, unless it left the group itself.
AgentRun runAgentInOwnGroup(std::FILE* (*start)(), std::chrono::steady_clock::time_point deadline,
                            std::size_t cap);

}  // namespace kyto::clientadm
