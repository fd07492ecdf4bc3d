// The client access list reader on arbitrary list files: every entry handed on must carry a
// profile of -1 to 5 and a deny flag of 0 or 1.
#include <kytoutil/kytoutil.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/appliance_paths.h"
#include "fuzz_support.h"

namespace {

int checkEntry(void* context, const unsigned char* mac, const char* ip, const char* device,
               int profileId, const char* user, const char* clientType, int deny) {
  auto* count = static_cast<int*>(context);
  ++*count;
  if (mac == nullptr || profileId < -1 || profileId > 5 || (deny != 0 && deny != 1)) abort();
  // The texts must be readable NUL-terminated strings.
  for (const char* text : {ip, device, user, clientType}) {
    if (text != nullptr) (void)strlen(text);
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kyto::fuzz::writeRootFile(kyto::paths::kClientsXml, data, size);
  int entries = 0;
  Kyto_Util_ReadClientSettings(checkEntry, &entries);
  return 0;
}
