#include <string.h>

#include "kytoutil/kytoutil.h"

// The path to use for a configuration file: for now always the same path, as a copy the
// caller owns.
extern "C" char* GetUPnPConfig(const char* path) {
  if (path == nullptr) return nullptr;
  return strdup(path);
}
