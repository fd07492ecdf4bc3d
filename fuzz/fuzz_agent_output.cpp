// The DMC agent's output reader on arbitrary texts: every device reaches the sink as a search
// cache report with readable texts, and no device is reported that the text does not name.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dmc_search_cache.h"
#include "server_settings.h"

namespace {

std::size_t reports = 0;

int checkDevice(const char* mac, const char* ip, const char* deviceName, const char* clientType,
                int profileId, const char* user, int comeFrom, int deny) {
  ++reports;
  if (comeFrom != kyto::clientadm::FromDmcSearchCache || profileId != -1 || clientType != nullptr ||
      user != nullptr || deny != kyto::clientadm::denyAnonymous)
    abort();
  for (const char* text : {mac, ip, deviceName}) {
    if (text != nullptr) (void)strlen(text);
  }
  return 0;
}

std::size_t occurrences(std::string_view text, std::string_view word) {
  std::size_t count = 0;
  for (auto at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1))
    ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A value other than the default shows that the reports carry the setting.
  kyto::clientadm::denyAnonymous = 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader hands the parser a NUL-terminated text, so a NUL byte ends it here too.
  const std::string text(reinterpret_cast<const char*>(data), size);
  reports = 0;
  const int result = kyto::clientadm::mergeAgentDevices(text.c_str(), checkDevice);
  if (result != 0 && reports != 0) abort();
  // Each device element needs its name in the text; entities must not multiply devices.
  if (reports > occurrences(text.c_str(), "device")) abort();
  return 0;
}
