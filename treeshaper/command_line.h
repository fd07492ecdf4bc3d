// The command line of treeshaper: one of --list, --read or --add per run.
#pragma once

#include <cstddef>

namespace kyto::treeshaper {

// Longest output file name the add command takes.
inline constexpr std::size_t kMaxOutputNameLength = 128;

// Runs the command named by the arguments, or prints the usage text when they are not accepted.
void parseCommandLine(int argc, const char* const* argv);

void printUsage();

}  // namespace kyto::treeshaper
