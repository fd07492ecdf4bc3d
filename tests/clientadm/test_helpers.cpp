#include "test_helpers.h"

#include <stdlib.h>

#include <cstdlib>

#include "common/appliance_paths.h"

namespace kyto::clientadm::test {

MemoryStream::MemoryStream() : stream_(open_memstream(&buffer_, &size_)) {}

MemoryStream::~MemoryStream() {
  if (stream_ != nullptr) std::fclose(stream_);
  std::free(buffer_);
}

std::string MemoryStream::text() {
  std::fflush(stream_);
  return std::string(buffer_ != nullptr ? buffer_ : "", size_);
}

std::string ListRun::listing() const {
  MemoryStream out;
  list.print(out.get());
  return out.text();
}

const kyto::test::TempDir& sharedRoot() {
  static const kyto::test::TempDir root;
  static const bool exported = setenv("KYTO_ROOT", root.path().c_str(), 1) == 0;
  (void)exported;
  return root;
}

std::string serverSettingsFile() {
  return sharedRoot().path() + paths::kServerSettings;
}
std::string clientTypesFile() {
  return sharedRoot().path() + paths::kClientTypesXml;
}
std::string clientsFile() {
  return sharedRoot().path() + paths::kClientsXml;
}

}  // namespace kyto::clientadm::test
