// The library's configuration files: where they are for this process, and the list's lock.
#pragma once

#include "common/exclusive_lock.h"

namespace kyto::util {

// The paths of the list and the catalogue through GetUPnPConfig, resolved on first use and kept
// for the process, also when two threads of the caller ask first at once. Null only when memory
// ran out (the next call tries again).
const char* clientsXmlPath();
const char* clientTypesXmlPath();

// Takes the list's lock, or says "Lock file failed(<errno>): <text>" on standard error.
ClientListLock lockClientList();

}  // namespace kyto::util
