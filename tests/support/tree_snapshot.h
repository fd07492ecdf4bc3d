// Snapshots of directory trees, to show that a run added, removed or changed nothing.
#pragma once

#include <map>
#include <string>

namespace kyto::test {

// Every entry below dir by relative path: a file's content, "-> target" for a link, "/" for a
// directory. Two equal snapshots mean nothing was added, removed or changed.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const std::string& dir);
// The names added, removed or changed from before to after, one a line; empty when none.
std::string changes(const Snapshot& before, const Snapshot& after);

}  // namespace kyto::test
