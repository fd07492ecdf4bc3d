// The browse-tree reader on arbitrary template files, and the ID text conversion.
#include <cstdint>
#include <string>
#include <string_view>

#include "attributes.h"
#include "common/appliance_paths.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kyto::fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)kyto::treeshaper::hexTextToInt(text);
  kyto::fuzz::writeRootFile(std::string(kyto::paths::kTreeDir) + kyto::paths::kTreeTemplateName,
                            data, size);
  kyto::treeshaper::listTreeAttributes("Music");
  return 0;
}
