// The second source of list: the media server's client cache, a System V shared-memory segment.
#pragma once

#include "list_pipeline.h"

namespace kyto::clientadm {

// Merges every live slot of the segment with comeFrom FromDmsClientCache, naming client types by
// their position in the context's registry. The segment is only read: never created (a missing
// one holds no clients) and attached read-only. The status is always 0, even when the segment
// can't be reached.
SourceReport readDmsClientCache(const ListContext& context);

// Merges the live slots of a segment image of dmscache::kSegmentSize bytes.
void reportDmsSlots(const unsigned char* segment, const ListContext& context);

}  // namespace kyto::clientadm
