// The client type catalogue reader on arbitrary catalogue files, and the name converters on
// arbitrary texts: flags may only carry bits that the tables name.
#include <kytoutil/kytoutil.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/appliance_paths.h"
#include "fuzz_support.h"

namespace {

unsigned int allBits(const uint_name_st* table) {
  unsigned int bits = 0;
  for (; table->name != nullptr; ++table) bits |= table->value;
  return bits;
}

int checkType(void*, const char*, const char*, unsigned int flag, unsigned int sflag, const char*,
              int matchType, int compareType, long, const char*) {
  if ((flag & ~allBits(s_flagName)) != 0 || (sflag & ~allBits(s_sFlagName)) != 0) abort();
  if (matchType < 0 || matchType > 8 || compareType < 0 || compareType > 1) abort();
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if ((FlagStrToUint(s_flagName, text.c_str()) & ~allBits(s_flagName)) != 0) abort();
  (void)FlagStrToInt(s_matchTypeName, text.c_str());

  kyto::fuzz::writeRootFile(kyto::paths::kClientTypesXml, data, size);
  Kyto_Util_ReadClientTypeSettings(checkType, nullptr);
  return 0;
}
