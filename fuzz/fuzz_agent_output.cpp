// The DMC agent's output reader on arbitrary texts: every device is merged as a search cache
// client with the anonymous deny flag, and no device is merged that the text does not name.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/client_type_registry.h"
#include "list/agent_search.h"
#include "list/list_pipeline.h"

namespace {

std::size_t occurrences(std::string_view text, std::string_view word) {
  std::size_t count = 0;
  for (auto at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1))
    ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kyto::clientadm;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ClientTypeRegistry registry;
  MergedClientList list;
  // A deny flag other than the default shows that the records carry the setting.
  const ListContext context{{.denyAnonymous = 1}, registry, list};
  const int result = mergeAgentDevices(text, context).status;
  std::size_t records = 0;
  for (const ClientRecord* r = list.finish(); r != nullptr; r = r->next, ++records) {
    if (r->comeFrom != FromDmcSearchCache || r->profileId != -1 || !r->clientType.empty() ||
        !r->user.empty() || r->deny != 1)
      abort();
  }
  if (result != 0 && records != 0) abort();
  // Each device of its own address needs its name in the text: an entity repeats the same one.
  if (records > occurrences(text, "device")) abort();
  return 0;
}
