// The usage text of clientadm, which also lists the registered client types.
#pragma once

#include <cstdio>

namespace kyto::clientadm {

class ClientTypeRegistry;

// Writes the usage text with the client types of registry; the program name is argv[0] as
// invoked.
void printClientUsage(char* const* argv, const ClientTypeRegistry& registry,
                      std::FILE* out = stdout);

}  // namespace kyto::clientadm
