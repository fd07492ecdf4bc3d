// The DMC agent's search cache as the third source of the list command.
#pragma once

#include "merged_client_list.h"

namespace kyto::clientadm {

// Runs the halyard agent with "-c list" in a process group of its own (agent_process.h), reads
// its XML output (bounded in size and time, see agent_output.h), ends the whole group, and hands
// each device to the sink with comeFrom FromDmcSearchCache. Returns 1 when the agent can't be
// started or its output holds no root element, else 0.
int readDmcSearchCache(ClientSink sink);

// Merges each device element of the agent's XML text. 1 when the text holds no root element.
int mergeAgentDevices(const char* text, ClientSink sink);

}  // namespace kyto::clientadm
