// Bounded reading of the DMC agent's output, so that list neither stalls nor runs out of memory
// on an agent that misbehaves.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include <sys/types.h>

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

}  // namespace kyto::clientadm
