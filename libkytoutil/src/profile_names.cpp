#include <stdio.h>
#include <stdlib.h>

#include <iterator>
#include <string>

#include "abi_boundary.h"
#include "common/appliance_paths.h"
#include "common/client_schema.h"
#include "kytoutil/kytoutil.h"

namespace {

constexpr size_t kProfilePathSize = 1024;

// Profile ids count from 0, the file names from 1.
const char* const s_profileFileName[] = {
    "standard_1.xml", "standard_2.xml", "standard_3.xml",
    "custom_1.xml",   "custom_2.xml",   "custom_3.xml",
};
static_assert(std::size(s_profileFileName) == kyto::schema::kHighestProfileId + 1);

char* profilePath(int profileId) {
  if (profileId < 0 || profileId > kyto::schema::kHighestProfileId) return nullptr;
  const char* fileName = s_profileFileName[profileId];
  const std::string dir = kyto::paths::appliancePaths().configDir;
  auto* buffer = static_cast<char*>(malloc(kProfilePathSize));
  if (buffer == nullptr) return nullptr;
  int length = snprintf(buffer, kProfilePathSize, "%s%s", dir.c_str(), fileName);
  if (length < 0 || static_cast<size_t>(length) >= kProfilePathSize) {
    // A cut path would name another file; only a very long KYTO_ROOT can cause this.
    free(buffer);
    return nullptr;
  }
  return buffer;
}

}  // namespace

extern "C" char* Kyto_Util_GetProfileName(int profileId) {
  return kyto::util::pointerOrNull([&] { return profilePath(profileId); });
}
