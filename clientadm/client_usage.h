// The usage text of clientadm, which also lists the registered client types.
#pragma once

#include <cstdio>

namespace kyto::clientadm {

// Writes the usage text; the program name is argv[0] as invoked.
void printClientUsage(char* const* argv, std::FILE* out = stdout);

}  // namespace kyto::clientadm
