#include "list_context.h"

namespace kyto::clientadm {

int mergeClient(const ListContext& context, std::int32_t comeFrom, ClientReport client) noexcept {
  if (comeFrom != FromUserSettings) {
    client.user = nullptr;
    client.deny = context.settings.denyAnonymous;
  }
  return context.list.merge(comeFrom, client);
}

}  // namespace kyto::clientadm
