// Read: walking the client access list under the lock.
#include <errno.h>
#include <stdlib.h>

#include "abi_boundary.h"
#include "client_list_lock.h"
#include "client_list_path.h"
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

// Hands one entry to the callback; false when the callback asks to stop. Entries without a
// valid MAC are skipped silently.
bool visitClient(const XMLNode& client, ClientSettingsCallback callback, void* context) {
  const char* mac = client.getAttribute("MAC");
  unsigned char macBytes[6];
  if (mac == nullptr || *mac == '\0' ||
      convertMacStrToMacBinStr(mac, reinterpret_cast<char*>(macBytes)) != 0)
    return true;
  return callback(context, macBytes, client.getAttribute("IP"), client.getAttribute("DEVICE"),
                  profileFrom(client.getAttribute("USER_PROFILE")), client.getAttribute("USER"),
                  client.getAttribute("CLIENT_TYPE"), denyFrom(client.getAttribute("DENY"))) == 0;
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
  kyto::util::ClientListLock lock;
  if (!lock.held()) {
    *why = 0;  // its message said why
    return 1;
  }
  int error = 0;
  // Declared after the lock: the tree is freed before the lock is given up.
  XMLNode clients = XMLNode::openFileHelper(path, &error, "UPNP_CLIENTS");
  if (error != 0) {
    *why = error == XMLNode::kFileUnreadable || error == XMLNode::kFileBeyondLimits ? errno : 0;
    return 1;
  }
  // The entries are taken until there is none, without counting them first: a count would be
  // one more walk over a large list's nodes, long out of the cache by then.
  for (int i = 0;; ++i) {
    const XMLNode client = clients.getChildNode("CLIENT", i);
    if (client.isEmpty() || !visitClient(client, callback, context)) break;
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
