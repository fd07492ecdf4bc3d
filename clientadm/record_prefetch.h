// Asking for a listed record's memory before it is written out.
//
// In list order the records lie all over the heap, and a large list is long out of the cache by
// the time it is written: a writer that waited for each record, then for each of its texts,
// would wait on a cache miss several times a line. Writers therefore ask for the records a few
// lines ahead, first the record itself and then, once it has arrived, the texts it points to.
#pragma once

#include <cstddef>
#include <string>

#include "merged_client_list.h"

namespace kyto::clientadm {

inline void prefetchRecord(const ClientRecord* record) {
  const auto* bytes = reinterpret_cast<const char*>(record);
  for (std::size_t offset = 0; offset < sizeof(ClientRecord); offset += 64)
    __builtin_prefetch(bytes + offset);
}

inline void prefetchTexts(const ClientRecord* record) {
  for (const std::string* text :
       {&record->mac, &record->ip, &record->deviceName, &record->clientType, &record->user})
    __builtin_prefetch(text->data());
}

}  // namespace kyto::clientadm
