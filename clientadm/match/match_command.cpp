#include "match_command.h"

#include <kytoutil/kytoutil.h>

#include <exception>
#include <string>
#include <string_view>

#include "cli/bounded_regex.h"
#include "cli/enumeration_names.h"
#include "common/appliance_paths.h"
#include "common/safe_text.h"

namespace kyto::clientadm {

namespace {

struct MatchedEntry {
  std::string shortName;  // empty when the entry has none
  std::string fullName;   // empty when the entry has none
  std::string pattern;
  int matchType;
  int compareType;
};

// What the catalogue walk is given and gathers.
struct MatchWalk {
  const std::vector<DeviceProperty>& properties;
  std::vector<MatchedEntry> matched;
  std::exception_ptr failure;  // memory ran out in the callback, which no exception may leave
};

void complain(const std::string& line) {
  std::fputs(("clientadm: " + withoutControls(line) + "\n").c_str(), stderr);
}

const char* propertyText(const std::vector<DeviceProperty>& properties, int matchType) {
  for (const DeviceProperty& property : properties)
    if (property.matchType == matchType) return property.value;
  return nullptr;
}

bool patternFound(const char* shortName, const char* pattern, int compareType, const char* text) {
  switch (compareType) {
    case kStringFind:
      return std::string_view(text).find(pattern) != std::string_view::npos;
    case kRegularExpression: {
      const BoundedRegex expression(pattern);
      if (const auto& problem = expression.problem())
        complain(std::string("client type \"") + (shortName ? shortName : "") +
                 "\": its RegularExpression PATTERN can't be used (" + *problem +
                 "): it matches no device");
      return expression.foundIn(text);
    }
    default:
      return false;  // the library gives no other value
  }
}

// ClientTypeSettingsCallback over one catalogue entry; context is the MatchWalk.
int matchEntry(void* context, const char* shortName, const char* fullName, unsigned int /*flag*/,
               unsigned int /*sflag*/, const char* pattern, int matchType, int compareType,
               long /*bflag*/, const char* /*transcode*/) noexcept {
  auto& walk = *static_cast<MatchWalk*>(context);
  try {
    // No property given is MatchNone (the command line refuses it), so such an entry finds no
    // text.
    const char* text = propertyText(walk.properties, matchType);
    if (pattern == nullptr || text == nullptr) return 0;
    if (!patternFound(shortName, pattern, compareType, text)) return 0;
    walk.matched.push_back(
        {shortName ? shortName : "", fullName ? fullName : "", pattern, matchType, compareType});
    return 0;
  } catch (...) {
    walk.failure = std::current_exception();
    return 1;
  }
}

std::string entryLine(const MatchedEntry& entry) {
  return listingField(entry.shortName) + "|" + listingField(entry.fullName) + "|" +
         enumerationName(s_matchTypeName, entry.matchType) + "|" +
         enumerationName(s_compareTypeName, entry.compareType) + "|" + listingField(entry.pattern) +
         "\n";
}

std::string entryObject(const MatchedEntry& entry) {
  std::string object = "{\"shortName\":";
  appendJsonString(object, entry.shortName);
  object += ",\"fullName\":";
  appendJsonString(object, entry.fullName);
  object += ",\"patternType\":";
  appendJsonString(object, enumerationName(s_matchTypeName, entry.matchType));
  object += ",\"compareType\":";
  appendJsonString(object, enumerationName(s_compareTypeName, entry.compareType));
  object += ",\"pattern\":";
  appendJsonString(object, entry.pattern);
  return object + "}";
}

std::string matchText(const std::vector<MatchedEntry>& matched, ListingFormat format) {
  std::string text;
  if (format == ListingFormat::Text) {
    for (const MatchedEntry& entry : matched) text += entryLine(entry);
    return text;
  }
  if (matched.empty()) return "[]\n";
  text = "[\n";
  for (std::size_t i = 0; i < matched.size(); ++i)
    text += entryObject(matched[i]) + (i + 1 < matched.size() ? ",\n" : "\n]\n");
  return text;
}

}  // namespace

int printMatchingEntries(const std::vector<DeviceProperty>& properties, ListingFormat format,
                         std::FILE* out) {
  MatchWalk walk{properties, {}, {}};
  if (Kyto_Util_ReadClientTypeSettings(matchEntry, &walk) != 0)
    complain("the client type catalogue " + paths::appliancePaths().clientTypesXml +
             " could not be read (clientadm check says why): no entry matches");
  if (walk.failure) std::rethrow_exception(walk.failure);
  const std::string text = matchText(walk.matched, format);
  std::fwrite(text.data(), 1, text.size(), out);
  return walk.matched.empty() ? 1 : 0;
}

}  // namespace kyto::clientadm
