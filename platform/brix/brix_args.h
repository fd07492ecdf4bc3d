// Argument vectors for brix_popen: the one-string command line form and the path-plus-arguments
// form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kyto::brix {

// Splits a command line at spaces and tabs; runs of blanks make no empty word. No quoting.
std::vector<std::string> splitCommandLine(std::string_view line);

// The argument vector a list of strings stands for: one string is a command line to split,
// several are a program path and its arguments, taken as they are.
std::vector<std::string> argumentVector(const std::vector<std::string_view>& strings);

}  // namespace kyto::brix
