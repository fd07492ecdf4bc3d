// What a list source under test merges into.
#pragma once

#include <cstdint>
#include <string>

#include "cli/client_type_registry.h"
#include "list/list_pipeline.h"

namespace kyto::test {

// A registry (empty until a test fills it), a fresh list, and the context that joins them.
struct ListRun {
  explicit ListRun(std::int32_t denyAnonymous = 0) : context{{denyAnonymous}, registry, list} {}
  clientadm::ClientTypeRegistry registry;
  clientadm::MergedClientList list;
  clientadm::ListContext context;
  // The listing lines of the list, finished.
  std::string listing();
};

}  // namespace kyto::test
