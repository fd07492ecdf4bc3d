#include "brix_internal.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace kyto::brix {
std::vector<std::string> splitCommandLine(std::string_view line) {
  constexpr std::string_view kBlanks = " \t";
  std::vector<std::string> words;
  size_t pos = line.find_first_not_of(kBlanks);
  while (pos != std::string_view::npos) {
    size_t end = line.find_first_of(kBlanks, pos);
    words.emplace_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
    pos = line.find_first_not_of(kBlanks, end);
  }
  return words;
}

std::vector<std::string> argumentVector(const std::vector<std::string_view>& strings) {
  if (strings.size() == 1) return splitCommandLine(strings.front());
  return {strings.begin(), strings.end()};
}

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
