// Helpers of the clientadm tests.
#pragma once

#include <cstdio>
#include <string>

#include "client_type_registry.h"
#include "list_context.h"
#include "test_support.h"

namespace kyto::clientadm::test {

// A stdio stream that collects what is written to it.
class MemoryStream {
 public:
  MemoryStream();
  ~MemoryStream();
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  std::FILE* get() const { return stream_; }
  std::string text();

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_ = nullptr;
};

// What a source under test merges into: a registry (empty until a test fills it), a fresh list,
// and the context that joins them.
struct ListRun {
  explicit ListRun(std::int32_t denyAnonymous = 0) : context{{denyAnonymous}, registry, list} {}
  ClientTypeRegistry registry;
  MergedClientList list;
  ListContext context;
  // The listing lines of the list.
  std::string listing() const;
};

// One private root for the whole test process, set as KYTO_ROOT on first use. The library keeps
// the paths it resolved on first use, so tests change files below this root, never the root.
const kyto::test::TempDir& sharedRoot();

// Paths of the configuration files below the shared root.
std::string serverSettingsFile();
std::string clientTypesFile();
std::string clientsFile();

}  // namespace kyto::clientadm::test
