// The check command: the problems of clients.xml and clientTypes.xml, one line each.
#pragma once

#include <cstdio>

namespace kyto::clientadm {

// Checks the catalogue, then the client access list under the list's lock, and writes every
// problem to out as "PATH:LINE: TEXT" (the list's first). Writes nothing to either file. Returns 1
// when it wrote a problem, 0 when there was none.
int checkConfiguration(std::FILE* out = stdout);

}  // namespace kyto::clientadm
