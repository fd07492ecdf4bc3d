// What clientadm says when a change of the client list was refused: the library leaves the list
// as it was and tells why in errno (libkytoutil(3), ERRORS); this turns that into one line.
#pragma once

#include <string>

namespace kyto::clientadm {

// The line for standard error after add, del or restore left the list as it was for the reason
// why (an errno value), or "" when there is nothing to add: the library's lock message said it
// (0), or a del found no such client (ENOENT, with forDelete).
std::string listRefusal(int why, bool forDelete);

// The line that tells how to point clientadm at a staged root when the appliance's
// configuration directory is missing, as on a machine that is no appliance; "" when it exists.
std::string missingConfigDirectoryHint();

}  // namespace kyto::clientadm
