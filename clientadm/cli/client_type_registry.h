// The client types known during one run of clientadm: the catalogue's, the default one, and the
// custom types that stored clients name. An entry's index is its position, which the media
// server's client cache refers to, so entries are only ever appended.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kyto::clientadm {

inline constexpr char kDefaultClientType[] = "StandardDLNA150";
inline constexpr char kDefaultClientTypeFullName[] = "Generic DLNA 1.5";

struct ClientTypeEntry {
  std::string shortName;                // never empty
  std::optional<std::string> fullName;  // none when the catalogue gives none
  const ClientTypeEntry* next = nullptr;
};

class ClientTypeRegistry {
 public:
  ClientTypeRegistry() = default;
  ClientTypeRegistry(const ClientTypeRegistry&) = delete;
  ClientTypeRegistry& operator=(const ClientTypeRegistry&) = delete;

  const ClientTypeEntry* head() const {
    return entries_.empty() ? nullptr : entries_.front().get();
  }

  // The entry with exactly this short name, or null.
  const ClientTypeEntry* find(std::string_view shortName) const;
  // The short name at a position counted from 0, or null outside the registry.
  const char* nameAt(long index) const;
  // Appends an entry (fullName may be null). False when memory runs out; nothing is changed then.
  bool append(std::string_view shortName, const char* fullName) noexcept;

 private:
  std::vector<std::unique_ptr<ClientTypeEntry>> entries_;  // in list order
  // Keys view the entries' own short names, which never move or change.
  std::unordered_map<std::string_view, const ClientTypeEntry*> byName_;
};

// A custom client type name: 16 characters beginning with "CUST" (the rest is not examined).
bool isCustomClientType(std::string_view name);

// Catalogue callback (ClientTypeSettingsCallback) registering one entry by its short and full
// name. context is the ClientTypeRegistry to fill. Returns 1, which ends the catalogue walk, for
// an entry without short name or when memory runs out.
int registerClientType(void* context, const char* shortName, const char* fullName,
                       unsigned int flag, unsigned int sflag, const char* pattern, int matchType,
                       int compareType, long bflag, const char* transcode) noexcept;

// Fills the registry from the client type catalogue and makes sure the default type is in it.
// A missing catalogue is no failure; returns 1 only when the default entry can't be added.
int loadClientTypeRegistry(ClientTypeRegistry& registry);

// Appends a custom client type (see isCustomClientType) that the registry lacks, with its short
// name as full name; any other type, or none, is left alone. Silently nothing when memory runs
// out.
void registerCustomClientType(ClientTypeRegistry& registry, const char* clientType) noexcept;

}  // namespace kyto::clientadm
