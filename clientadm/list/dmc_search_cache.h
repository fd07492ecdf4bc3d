// The DMC agent's search cache as the third source of the list command.
#pragma once

#include <string>

#include "list_pipeline.h"

namespace kyto::clientadm {

// Runs the halyard agent with "-c list" in a process group of its own (agent_process.h), reads
// its XML output (bounded in size and time, see agent_output.h), ends the whole group, and
// merges each device with comeFrom FromDmcSearchCache. The status is 1 when
// the agent can't be started or its output holds no root element, else 0; the warning says
// when the output was cut at the size cap or the time limit.
SourceReport readDmcSearchCache(const ListContext& context);

// Merges each device element of the agent's XML text, as far as it is well-formed. 1 when the
// text holds no root element.
int mergeAgentDevices(const char* text, const ListContext& context);
// The same on a text of its own, which the walk changes in place.
int mergeAgentDevices(std::string& text, const ListContext& context);

}  // namespace kyto::clientadm
