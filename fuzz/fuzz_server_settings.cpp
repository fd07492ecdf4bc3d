// The server settings reader on arbitrary configuration files.
#include <cstdint>
#include <cstdio>

#include "common/appliance_paths.h"
#include "fuzz_support.h"
#include "server_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  kyto::fuzz::writeRootFile(kyto::paths::kServerSettings, data, size);
  std::int32_t value = -1;
  const int status = kyto::clientadm::readServerSettings(&value, sink);
  // Every regular file within the size limit is read; a larger one is refused.
  if (status != (size > kyto::clientadm::kServerSettingsMaxBytes ? 1 : 0)) __builtin_trap();
  return 0;
}
