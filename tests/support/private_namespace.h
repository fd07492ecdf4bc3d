// Private namespaces for a test process and the programs it starts, so that tests neither see nor
// change the machine's shared-memory segments or mounts.
#pragma once

#include <string>

namespace kyto::test {

// Moves the process into an IPC namespace of its own (through a user namespace where it isn't
// root). Empty on success, else why not.
std::string enterPrivateIpcNamespace();

// Moves the process into a mount namespace of its own at the first call, with every mount
// private, so that what a test mounts vanishes with the process. Empty on success, else why not.
const std::string& privateMountNamespace();

}  // namespace kyto::test
