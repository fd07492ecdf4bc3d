// The command line of treeshaper: one of --list, --read or --add per run.
#pragma once

#include <cstddef>

namespace kyto::treeshaper {

// Longest output file name the add command takes.
inline constexpr std::size_t kMaxOutputNameLength = 128;

// Runs the command named by the arguments, or prints the usage text when they are not accepted.
// Returns the exit status: 0 when it did what was asked (listed, wrote the file, or printed the
// help for -h/--help), 1 when it printed the usage for a bad command line, printed an error, or
// wrote nothing of what it was asked to write.
int parseCommandLine(int argc, const char* const* argv);

void printUsage();

}  // namespace kyto::treeshaper
