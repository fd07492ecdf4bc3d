// Read: walking the client access list under the lock.
#include <errno.h>
#include <stdlib.h>

#include "abi_boundary.h"
#include "config_files.h"
#include "kytoutil/kytoutil.h"
#include "xml_node.h"

namespace {

constexpr int kNoProfile = -1;
constexpr int kLastProfileId = 5;

// The number is taken as an int, as stored files have always been read; text without leading
// digits counts as 0. A single digit, what nearly every entry holds, is read without strtol.
int decimalAsInt(const char* text) {
  if (text[0] >= '0' && text[0] <= '9' && text[1] == '\0') return text[0] - '0';
  return static_cast<int>(strtol(text, nullptr, 10));
}

int profileFrom(const char* text) {
  if (text == nullptr) return kNoProfile;
  int value = decimalAsInt(text);
  return value >= 0 && value <= kLastProfileId ? value : kNoProfile;
}

int denyFrom(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  return decimalAsInt(text) != 0 ? 1 : 0;
}

struct Walk {
  ClientSettingsCallback callback;
  void* context;
};

// Hands one entry to the callback; false when the callback asks to stop. Entries without a
// valid MAC are skipped silently.
bool visitClient(void* walk, const XMLNode::ChildElement& client) {
  enum { kMac, kIp, kDevice, kProfile, kUser, kType, kDeny, kFields };
  static constexpr const char* kNames[kFields] = {"MAC",  "IP",          "DEVICE", "USER_PROFILE",
                                                  "USER", "CLIENT_TYPE", "DENY"};
  const char* field[kFields];
  client.getAttributes(kNames, field, kFields);  // one walk over the entry's attributes
  unsigned char macBytes[6];
  if (field[kMac] == nullptr || *field[kMac] == '\0' ||
      convertMacStrToMacBinStr(field[kMac], reinterpret_cast<char*>(macBytes)) != 0)
    return true;
  const auto& [callback, context] = *static_cast<const Walk*>(walk);
  return callback(context, macBytes, field[kIp], field[kDevice], profileFrom(field[kProfile]),
                  field[kUser], field[kType], denyFrom(field[kDeny])) == 0;
}

// *why gets the errno of a list that could not be read, or was too large or in an encoding the
// reader can't convert; 0 for one that is no list, or for a lock that could not be taken, whose
// message says why.
int readClients(ClientSettingsCallback callback, void* context, int* why) {
  const char* path = kyto::util::clientsXmlPath();
  if (path == nullptr) {
    *why = ENOMEM;
    return 1;
  }
  const kyto::ClientListLock lock = kyto::util::lockClientList();
  if (!lock.held()) {
    *why = 0;  // its message said why
    return 1;
  }
  // The entries are read as the file is walked, without a tree of it: a large list costs only
  // its bytes, and the file is checked whole before the first entry is handed on.
  Walk walk{callback, context};
  int error = 0;
  XMLNode::forEachChildInFile(path, &error, "UPNP_CLIENTS", "CLIENT", visitClient, &walk);
  if (error != 0) {
    *why = error == XMLNode::kFileUnreadable || error == XMLNode::kFileBeyondLimits ? errno : 0;
    return 1;
  }
  return 0;
}

}  // namespace

extern "C" int Kyto_Util_ReadClientSettings(ClientSettingsCallback callback, void* context) {
  if (callback == nullptr) return 1;
  int why = ENOMEM;  // what a throw means
  const int status =
      kyto::util::statusOrFailure([&] { return readClients(callback, context, &why); });
  // Set last, once the tree is freed and the lock given up, so that nothing changes it after.
  if (status != 0) errno = why;
  return status;
}
