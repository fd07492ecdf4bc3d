// The third source of list: the devices the DMC agent found, from its XML output.
#pragma once

#include <string_view>

#include "list_pipeline.h"

namespace kyto::clientadm {

// Runs the halyard agent with "-c list" in a process group of its own (agent_process.h), reads
// its XML output (bounded in size and time, see there), ends the whole group, and merges each
// device with comeFrom FromDmcSearchCache. The status is 1 when the agent can't be started or its
// output holds no root element, else 0; the warning says when the output was cut at the size cap
// or the time limit, or stopped being well-formed.
SourceReport readDmcSearchCache(const ListContext& context);

// Merges each device element of the agent's XML text, as far as it is well-formed. The status is
// 1 when the text holds no root element; the warning says where a text that is not well-formed
// stopped being read. Without whole, the text is an output that was cut: its end is no fault.
SourceReport mergeAgentDevices(std::string_view text, const ListContext& context,
                               bool whole = true);

}  // namespace kyto::clientadm
