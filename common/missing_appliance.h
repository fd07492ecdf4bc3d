// What a program says when the appliance it serves is not there, as on a development machine:
// the same line from every program, so that each points the user at KYTO_ROOT.
#pragma once

#include <string>
#include <string_view>

namespace kyto {

// One line for standard error when dir, a directory of the appliance, does not exist: it names
// the directory and how to run program against a staged root. Empty when the directory exists
// or can't be looked at for another reason than its absence.
std::string missingApplianceHint(std::string_view program, const std::string& dir);

}  // namespace kyto
