// The media server's client cache (System V shared memory) as the second source of the list
// command.
#pragma once

#include <cstddef>

#include "merged_client_list.h"

namespace kyto::clientadm {

class ClientTypeRegistry;

// Hands every live slot of the segment to the sink with comeFrom FromDmsClientCache. The
// segment is only read: never created (a missing one holds no clients) and attached read-only.
// Always 0, even when the segment can't be reached.
int readDmsClientCache(ClientSink sink);

// Reports the live slots of a segment image of dmscache::kSegmentSize bytes, naming client types
// by their position in the registry.
void reportDmsSlots(const unsigned char* segment, const ClientTypeRegistry& registry,
                    ClientSink sink);

}  // namespace kyto::clientadm
