// The client type catalogue: reading it, and the name tables that turn its flag names into
// numbers.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "abi_boundary.h"
#include "config_files.h"
#include "kytoutil/kytoutil.h"
#include "xml_node.h"

namespace {

long numberOrZero(const char* text) {
  return text != nullptr ? strtol(text, nullptr, 10) : 0;
}

// Hands one entry to the callback with its names turned into numbers; false to stop.
bool visitClientType(const XMLNode& type, ClientTypeSettingsCallback callback, void* context) {
  return callback(context, type.getAttribute("SHORT_NAME"), type.getAttribute("FULL_NAME"),
                  FlagStrToUint(s_flagName, type.getAttribute("FLAG")),
                  FlagStrToUint(s_sFlagName, type.getAttribute("SFLAG")),
                  type.getAttribute("PATTERN"),
                  FlagStrToInt(s_matchTypeName, type.getAttribute("PATTERN_TYPE")),
                  FlagStrToInt(s_compareTypeName, type.getAttribute("COMPARE_TYPE")),
                  numberOrZero(type.getAttribute("BFLAG")), type.getAttribute("TRANSCODE")) == 0;
}

int readClientTypes(ClientTypeSettingsCallback callback, void* context) {
  const char* path = kyto::util::clientTypesXmlPath();
  if (path == nullptr) return 1;
  // The catalogue has no writer in this system, so it is read without the lock.
  int error = 0;
  XMLNode types = XMLNode::openFileHelper(path, &error, "UPNP_CLIENTTYPES");
  if (error != 0) return 1;
  for (XMLNode type = types.getChildNode("CLIENTTYPE"); !type.isEmpty();
       type = type.nextSibling("CLIENTTYPE")) {
    if (!visitClientType(type, callback, context)) break;
  }
  return 0;
}

}  // namespace

extern "C" int Kyto_Util_ReadClientTypeSettings(ClientTypeSettingsCallback callback,
                                                void* context) {
  if (callback == nullptr) return 1;
  return kyto::util::statusOrFailure([&] { return readClientTypes(callback, context); });
}

extern "C" {

uint_name_st s_flagName[] = {
    {0x00100000, "DLNA"},
    {0x00200000, "MIME_AVI_DIVX"},
    {0x00400000, "MIME_AVI_AVI"},
    {0x00800000, "MIME_FLAC_FLAC"},
    {0x01000000, "MIME_WAV_WAV"},
    {0x02000000, "NO_RESIZE"},
    {0x04000000, "MS_PFS"},
    {0x08000000, "NO_RANGE"},
    {0x10000000, "USE_MODELNAME"},
    {0x40000000, "CONTENT_LENGTH"},
    {0, nullptr},
};

uint_name_st s_sFlagName[] = {
    {0x01, "SONY"},    {0x02, "SAMSUNGA"}, {0x04, "SAMSUNGB"}, {0x08, "SAMSUNGC"}, {0x10, "XBOX"},
    {0x20, "APPLETV"}, {0x40, "LGDEVICE"}, {0x80, "SONYBDP"},  {0, nullptr},
};

int_name_st s_matchTypeName[] = {
    {0, "MatchNone"},
    {1, "UserAgent"},
    {2, "XAVClientInfo"},
    {3, "FriendlyName"},
    {4, "ModelName"},
    {5, "Manufacturer"},
    {6, "FriendlyNameSSDP"},
    {7, "CAST-DEVICE-CAPABILITIES"},
    {8, "FriendlyName.DLNA.ORG"},
    {0, nullptr},
};

int_name_st s_compareTypeName[] = {
    {0, "StringFind"},
    {1, "RegularExpression"},
    {0, nullptr},
};

}  // extern "C"

namespace {

struct FreeDeleter {
  void operator()(char* text) const { free(text); }
};

template <typename Record>
const Record* findName(const Record* table, const char* name) {
  for (const Record* record = table; record->name != nullptr; ++record) {
    if (strcasecmp(record->name, name) == 0) return record;
  }
  return nullptr;
}

}  // namespace

unsigned int FlagStrToUint(uint_name_st* table, const char* text) {
  if (table == nullptr || text == nullptr) return 0;
  // strtok_r cuts its input, so work on a copy; the caller's text stays as it was.
  std::unique_ptr<char, FreeDeleter> copy(strdup(text));
  if (copy == nullptr) return 0;
  unsigned int bits = 0;
  char* state = nullptr;
  for (char* token = strtok_r(copy.get(), "|, ", &state); token != nullptr;
       token = strtok_r(nullptr, "|, ", &state)) {
    if (const uint_name_st* record = findName(table, token); record != nullptr)
      bits |= record->value;
  }
  return bits;
}

int FlagStrToInt(int_name_st* table, const char* text) {
  if (table == nullptr || text == nullptr) return 0;
  const int_name_st* record = findName(table, text);
  return record != nullptr ? record->value : 0;
}
