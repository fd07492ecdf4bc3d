// One listed client: the record the list command merges and prints, the report a source gives,
// and the one table of their fields that the writers and the merge share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace kyto::clientadm {

// Where a listed client was first reported (its comeFrom).
enum ClientSource : int {
  FromUserSettings = 0,
  FromDmsClientCache = 1,
  FromDmcSearchCache = 2,
};

// Its texts are the list's own copies (merged_client_list.h), never a caller's.
struct ClientRecord {
  std::string_view mac;  // empty when the source gave none
  std::string_view ip;
  std::string_view deviceName;
  std::string_view clientType;
  std::int32_t profileId = -1;
  std::string_view user;
  std::int32_t comeFrom = FromUserSettings;
  std::int32_t deny = 0;
  ClientRecord* next = nullptr;
};

// One client as a source reports it. Every text may be null (not given) and is borrowed for the
// call.
struct ClientReport {
  const char* mac = nullptr;
  const char* ip = nullptr;
  const char* deviceName = nullptr;
  const char* clientType = nullptr;
  std::int32_t profileId = -1;
  const char* user = nullptr;
  std::int32_t deny = 0;
};

// The listed fields, each once: its name (the JSON key), its kind, and where a record and a
// report hold it. A text listing line holds them in this order, '|'-separated.
struct RecordField {
  enum class Kind {
    Text,     // a text, "" when not given
    Number,   // a number
    Profile,  // a number; JSON null when it is -1 (no profile)
    Flag,     // a number; JSON true when it is not 0
  };
  const char* name;
  Kind kind;
  std::string_view ClientRecord::*text = nullptr;  // Text
  const char* ClientReport::*reported = nullptr;   // Text
  std::int32_t ClientRecord::*number = nullptr;    // the others
};

inline constexpr RecordField kRecordFields[] = {
    {"deny", RecordField::Kind::Flag, nullptr, nullptr, &ClientRecord::deny},
    {"mac", RecordField::Kind::Text, &ClientRecord::mac, &ClientReport::mac},
    {"ip", RecordField::Kind::Text, &ClientRecord::ip, &ClientReport::ip},
    {"deviceName", RecordField::Kind::Text, &ClientRecord::deviceName, &ClientReport::deviceName},
    {"clientType", RecordField::Kind::Text, &ClientRecord::clientType, &ClientReport::clientType},
    {"profileId", RecordField::Kind::Profile, nullptr, nullptr, &ClientRecord::profileId},
    {"user", RecordField::Kind::Text, &ClientRecord::user, &ClientReport::user},
    {"comeFrom", RecordField::Kind::Number, nullptr, nullptr, &ClientRecord::comeFrom},
};
inline constexpr std::size_t kRecordFieldCount = std::size(kRecordFields);

// The JSON listing's key order, which has always had user before profileId, as indexes of
// kRecordFields; its objects end with "source", the name of comeFrom.
inline constexpr std::size_t kJsonFieldOrder[] = {0, 1, 2, 3, 4, 6, 5, 7};
static_assert(std::size(kJsonFieldOrder) == kRecordFieldCount);

// "userSettings", "clientCache" or "searchCache"; "" for another number.
const char* sourceName(std::int32_t comeFrom);

// Size of a MAC text buffer: six two-digit fields, five colons and the terminator.
inline constexpr int kMacTextSize = 18;

// Writes the six bytes as "%02x:%02x:%02x:%02x:%02x:%02x" would, NUL-terminated; formatting by
// hand keeps printf's parsing out of the per-client path of the list command.
void formatMacText(const std::uint8_t* bytes, char (&text)[kMacTextSize]);

}  // namespace kyto::clientadm
