// The exported name tables of the client type catalogue and the converters that use them.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "kytoutil/kytoutil.h"

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
