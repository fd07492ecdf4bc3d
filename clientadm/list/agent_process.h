// Running the DMC agent in a process group of its own, so that list can end it together with
// whatever it leaves behind.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "agent_output.h"

namespace kyto::clientadm {

struct AgentRun {
  bool started = false;  // the program could be started
  int error = 0;         // when it could not: the errno value (ENOENT: there is no such program)
  AgentOutput output;    // what it printed, within the cap and the deadline, and where cut
};

// Starts the program (argv[0] is its path) with its standard output on a pipe, as the leader of
// a new process group, so that everything it starts joins that group. Reads its output until end
// of file, or until it has exited and what it wrote is read (a child it left behind may hold the
// pipe open), or the cap or the deadline (see readAgentOutput). Then the whole group is killed
// and reaped: clientadm becomes a subreaper, so that members whose parent died are reaped here
// too. Nothing the program started stays behind, unless it left the group itself, also when
// SIGHUP, SIGINT, SIGQUIT or SIGTERM ends list meanwhile: the group is killed first.
AgentRun runInOwnProcessGroup(const std::vector<std::string>& argv,
                              std::chrono::steady_clock::time_point deadline, std::size_t cap);

}  // namespace kyto::clientadm
