// Read: walking the client access list under the lock.
#include <errno.h>
#include <stdlib.h>

#include "abi_boundary.h"
#include "common/client_schema.h"
#include "config_files.h"
#include "kytoutil/kytoutil.h"
#include "xml_node.h"

namespace {

struct Walk {
  ClientSettingsCallback callback;
  void* context;
};

// Hands one entry to the callback; false when the callback asks to stop. Entries without a
// valid MAC are skipped silently.
bool visitClient(void* walk, const char* const* field) {
  using namespace kyto::schema;
  unsigned char macBytes[6];
  if (field[kMac] == nullptr || *field[kMac] == '\0' ||
      convertMacStrToMacBinStr(field[kMac], reinterpret_cast<char*>(macBytes)) != 0)
    return true;
  const auto& [callback, context] = *static_cast<const Walk*>(walk);
  return callback(context, macBytes, field[kIp], field[kDevice], profileFrom(field[kProfile]),
                  field[kUser], field[kClientType], denyFrom(field[kDeny])) == 0;
}

// *why gets the errno of a list that could not be read, or was beyond one of the reader's bounds
// (xml_node.h); 0 for one that is no list, or for a lock that could not be taken, whose message
// says why.
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
  // The entries are read as the file is walked, without a tree of it, and handed on once the
  // whole file is known to be well-formed.
  Walk walk{callback, context};
  int error = 0;
  XMLNode::forEachChildInFile(path, &error, kyto::schema::kListElement,
                              kyto::schema::kClientElement, kyto::schema::kAttributeNames,
                              kyto::schema::kAttributes, visitClient, &walk);
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
