// Where the client access list lives for this process.
#pragma once

namespace kyto::util {

// The list's path through GetUPnPConfig, resolved on first use and kept for the process; null
// only when memory ran out (the next call tries again).
const char* clientsXmlPath();

}  // namespace kyto::util
