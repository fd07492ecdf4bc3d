#include "listing_json.h"

#include <nlohmann/json.hpp>

#include <string_view>

#include "record_prefetch.h"

namespace kyto::clientadm {

namespace {

using Json = nlohmann::ordered_json;  // keeps the keys in the documented order

constexpr std::size_t kFlushSize = 64 * 1024;
constexpr std::size_t kRecordsAhead = 8;

const char* sourceName(std::int32_t comeFrom) {
  switch (comeFrom) {
    case FromUserSettings:
      return "userSettings";
    case FromDmsClientCache:
      return "clientCache";
    case FromDmcSearchCache:
      return "searchCache";
  }
  return "";
}

// An object with every key in its place, which fill() gives the values of one record.
Json recordObject() {
  return Json{{"deny", false},        {"mac", ""},        {"ip", ""},
              {"deviceName", ""},     {"clientType", ""}, {"user", ""},
              {"profileId", nullptr}, {"comeFrom", 0},    {"source", ""}};
}

void setText(Json& object, const char* key, const std::string& value) {
  object[key].get_ref<std::string&>() = value;  // reuses the text's room
}

void fill(Json& object, const ClientRecord& record) {
  object["deny"] = record.deny != 0;
  setText(object, "mac", record.mac);
  setText(object, "ip", record.ip);
  setText(object, "deviceName", record.deviceName);
  setText(object, "clientType", record.clientType);
  setText(object, "user", record.user);
  object["profileId"] = record.profileId < 0 ? Json(nullptr) : Json(record.profileId);
  object["comeFrom"] = record.comeFrom;
  object["source"].get_ref<std::string&>() = sourceName(record.comeFrom);
}

std::string textOf(const Json& object) {
  // A device names itself, and nothing guarantees that the name is UTF-8: the replacement
  // character keeps the document valid where the default would throw.
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void writeText(std::string_view text, std::FILE* out) {
  std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace

std::string clientRecordJson(const ClientRecord& record) {
  Json object = recordObject();
  fill(object, record);
  return textOf(object);
}

void writeJsonListing(const ClientRecord* head, std::FILE* out) {
  if (head == nullptr) {
    writeText("[]\n", out);
    return;
  }
  // Each record is made and written on its own, so a large list never becomes one document in
  // memory. One object takes every record's values in turn: building nine keys and values anew
  // for each record made the listing of 100,000 clients three times as slow.
  Json object = recordObject();
  std::string pending = "[\n";
  // The records are asked for ahead (record_prefetch.h): the one kRecordsAhead on, reached
  // through the one asked for in the turn before, and the texts of the next one.
  const ClientRecord* ahead = head;
  for (std::size_t i = 0; i < kRecordsAhead && ahead != nullptr; ++i) ahead = ahead->next;
  for (const ClientRecord* record = head; record != nullptr; record = record->next) {
    if (ahead != nullptr) {
      ahead = ahead->next;
      if (ahead != nullptr) prefetchRecord(ahead);
    }
    if (record->next != nullptr) prefetchTexts(record->next);
    fill(object, *record);
    pending += textOf(object);
    pending += record->next != nullptr ? ",\n" : "\n]\n";
    if (pending.size() >= kFlushSize) {
      writeText(pending, out);
      pending.clear();
    }
  }
  writeText(pending, out);
}

}  // namespace kyto::clientadm
