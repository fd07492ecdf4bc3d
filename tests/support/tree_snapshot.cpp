#include "tree_snapshot.h"

#include <filesystem>

#include "test_support.h"

namespace kyto::test {

namespace fs = std::filesystem;

Snapshot snapshot(const std::string& dir) {
  Snapshot entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    // Not fs::relative: it resolves links, and some entries are links that lead nowhere.
    const std::string name = it->path().string().substr(dir.size() + 1);
    if (it->is_symlink(ec)) {
      entries[name] = "-> " + fs::read_symlink(it->path(), ec).string();
    } else if (it->is_directory(ec)) {
      entries[name] = "/";
    } else if (!it->is_regular_file(ec)) {
      entries[name] = "special";  // a FIFO is never opened: it would wait for a writer
    } else {
      entries[name] = readFile(it->path().string());
    }
  }
  return entries;
}

std::string changes(const Snapshot& before, const Snapshot& after) {
  std::string lines;
  for (const auto& [name, content] : before) {
    auto now = after.find(name);
    if (now == after.end()) {
      lines += "removed " + name + "\n";
    } else if (now->second != content) {
      lines += "changed " + name + "\n";
    }
  }
  for (const auto& [name, content] : after) {
    if (!before.contains(name)) lines += "added " + name + "\n";
  }
  return lines;
}

}  // namespace kyto::test
