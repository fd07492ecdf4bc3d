// The DMC agent: run in a process group of its own, so that list can end it together with
// whatever it leaves behind, and its output read within a size cap and a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace kyto::clientadm {

// The agent's output is read up to this many bytes; a longer output is parsed as a cut text.
inline constexpr std::size_t kAgentOutputCap = 16 * 1024 * 1024;

// list waits at most this long, counted from the agent's start, for the agent's output; what
// arrived by then is used.
inline constexpr std::chrono::seconds kAgentOutputDeadline{10};

// Where the read stopped short of the output's end, if it did.
enum class OutputCut { None, AtSizeCap, AtTimeLimit };

struct AgentOutput {
  std::string text;
  OutputCut cut = OutputCut::None;
};

// Reads a descriptor until end of file, cap bytes or the deadline, whichever comes first; an
// output that reaches cap bytes counts as cut there. Given the writer, a child of this process,
// the read also ends, as at end of file, once it has exited and what the pipe then held is read:
// a child it left behind may hold the pipe open without end. The writer is left unreaped. A read
// error or a lack of memory ends the read as end of file does; what was read is returned.
AgentOutput readAgentOutput(int fd, std::chrono::steady_clock::time_point deadline, std::size_t cap,
                            pid_t writer = -1);

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
