#include "brix_registry.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace kyto::brix {

namespace {

std::mutex& registryMutex() {
  static std::mutex mutex;
  return mutex;
}

// Few streams are open at a time; a linear search is the simplest correct lookup.
std::vector<std::pair<FILE*, pid_t>>& registry() {
  static std::vector<std::pair<FILE*, pid_t>> entries;
  return entries;
}

}  // namespace

bool registerStream(FILE* stream, pid_t pid) noexcept {
  std::lock_guard lock(registryMutex());
  try {
    registry().emplace_back(stream, pid);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

pid_t unregisterStream(FILE* stream) noexcept {
  std::lock_guard lock(registryMutex());
  auto& entries = registry();
  auto it = std::find_if(entries.begin(), entries.end(),
                         [stream](const auto& entry) { return entry.first == stream; });
  if (it == entries.end()) return -1;
  pid_t pid = it->second;
  entries.erase(it);
  return pid;
}

}  // namespace kyto::brix
