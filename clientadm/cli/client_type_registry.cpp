#include "client_type_registry.h"

#include <kytoutil/kytoutil.h>

namespace kyto::clientadm {

const ClientTypeEntry* ClientTypeRegistry::find(std::string_view shortName) const {
  const auto found = byName_.find(shortName);
  return found == byName_.end() ? nullptr : found->second;
}

const char* ClientTypeRegistry::nameAt(long index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return nullptr;
  return entries_[static_cast<std::size_t>(index)]->shortName.c_str();
}

bool ClientTypeRegistry::append(std::string_view shortName, const char* fullName) noexcept {
  try {
    auto entry = std::make_unique<ClientTypeEntry>();
    entry->shortName = shortName;
    if (fullName != nullptr) entry->fullName = fullName;
    if (entries_.size() == entries_.capacity()) entries_.reserve(2 * entries_.size() + 8);
    const ClientTypeEntry* added = entry.get();
    byName_.emplace(added->shortName, added);
    // Nothing below throws: capacity is reserved.
    if (!entries_.empty()) entries_.back()->next = added;
    entries_.push_back(std::move(entry));
    return true;
  } catch (...) {
    return false;
  }
}

bool isCustomClientType(std::string_view name) {
  return name.size() == 16 && name.starts_with("CUST");
}

int registerClientType(void* context, const char* shortName, const char* fullName,
                       unsigned int /*flag*/, unsigned int /*sflag*/, const char* /*pattern*/,
                       int /*matchType*/, int /*compareType*/, long /*bflag*/,
                       const char* /*transcode*/) noexcept {
  if (context == nullptr || shortName == nullptr || *shortName == '\0') return 1;
  auto& registry = *static_cast<ClientTypeRegistry*>(context);
  if (registry.find(shortName) != nullptr) return 0;  // the first full name stays
  return registry.append(shortName, fullName) ? 0 : 1;
}

int loadClientTypeRegistry(ClientTypeRegistry& registry) {
  // A missing or unreadable catalogue leaves only the default type; that is no failure.
  Kyto_Util_ReadClientTypeSettings(registerClientType, &registry);
  if (registry.find(kDefaultClientType) != nullptr) return 0;
  return registry.append(kDefaultClientType, kDefaultClientTypeFullName) ? 0 : 1;
}

void registerCustomClientType(ClientTypeRegistry& registry, const char* clientType) noexcept {
  if (clientType == nullptr || !isCustomClientType(clientType)) return;
  if (registry.find(clientType) != nullptr) return;
  registry.append(clientType, clientType);  // silently nothing when memory runs out
}

}  // namespace kyto::clientadm
