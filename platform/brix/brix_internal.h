// The process helpers' own parts: the argument vectors of brix_popen (the one-string command
// line form and the path-plus-arguments form) and the registry of the children they started.
#pragma once

#include <stdio.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace kyto::brix {
// Splits a command line at spaces and tabs; runs of blanks make no empty word. No quoting.
std::vector<std::string> splitCommandLine(std::string_view line);

// The argument vector a list of strings stands for: one string is a command line to split,
// several are a program path and its arguments, taken as they are.
std::vector<std::string> argumentVector(const std::vector<std::string_view>& strings);

// ---- which child process belongs to which brix stream, shared by all threads of the process

// Records the child of a stream. Returns false when memory runs out.
bool registerStream(FILE* stream, pid_t pid) noexcept;

// Forgets a stream and gives its child, or -1 when the stream was never registered.
pid_t unregisterStream(FILE* stream) noexcept;

}  // namespace kyto::brix
