#include "config_files.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <string>

#include "common/appliance_paths.h"
#include "kytoutil/kytoutil.h"

namespace kyto::util {

namespace {

// Set once and never freed: every later parse and write uses it. Two threads that resolve it at
// once keep the first copy, and the other frees its own.
const char* resolvedOnce(std::atomic<char*>& slot, const std::string& appliancePath) {
  char* path = slot.load(std::memory_order_acquire);
  if (path != nullptr) return path;
  char* resolved = GetUPnPConfig(appliancePath.c_str());
  if (resolved == nullptr) return nullptr;
  if (slot.compare_exchange_strong(path, resolved, std::memory_order_acq_rel)) return resolved;
  free(resolved);
  return path;  // another thread's, which compare_exchange_strong loaded
}

std::atomic<char*> s_clientsXmlPath{nullptr};
std::atomic<char*> s_clientTypesXmlPath{nullptr};

}  // namespace

const char* clientsXmlPath() {
  return resolvedOnce(s_clientsXmlPath, kyto::paths::appliancePaths().clientsXml);
}

const char* clientTypesXmlPath() {
  return resolvedOnce(s_clientTypesXmlPath, kyto::paths::appliancePaths().clientTypesXml);
}

ClientListLock lockClientList() {
  // The lock file is used by its own path, not through GetUPnPConfig.
  return ClientListLock(kyto::paths::appliancePaths().clientsLock, "Lock file failed");
}

}  // namespace kyto::util

// The path to use for a configuration file: for now always the same path, as a copy the
// caller owns.
extern "C" char* GetUPnPConfig(const char* path) {
  if (path == nullptr) return nullptr;
  return strdup(path);
}
