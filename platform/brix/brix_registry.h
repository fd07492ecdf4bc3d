// Which child process belongs to which brix stream, shared by all threads of the process.
#pragma once

#include <stdio.h>
#include <sys/types.h>

namespace kyto::brix {

// Records the child of a stream. Returns false when memory runs out.
bool registerStream(FILE* stream, pid_t pid) noexcept;

// Forgets a stream and gives its child, or -1 when the stream was never registered.
pid_t unregisterStream(FILE* stream) noexcept;

}  // namespace kyto::brix
