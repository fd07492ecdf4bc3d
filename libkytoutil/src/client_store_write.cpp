// Add and Del: rewriting the client access list under the lock.
#include <stdio.h>
#include <string.h>

#include "abi_boundary.h"
#include "client_list_lock.h"
#include "client_list_path.h"
#include "corrupt_backup.h"
#include "kytoutil/kytoutil.h"
#include "storable_text.h"
#include "xml_node.h"

namespace {

struct NewClient {
  const char* mac;
  const char* ip;
  int profileId;
  const char* user;
  const char* clientType;
  int deny;
};

bool given(const char* text) {
  return text != nullptr && *text != '\0';
}

// Every text Add would write must survive a write and a parse unchanged.
bool isStorable(const NewClient& client) {
  for (const char* text : {client.mac, client.ip, client.user, client.clientType}) {
    if (given(text) && !kyto::util::isStorableText(text)) return false;
  }
  return true;
}

// A new list document: the declaration and an empty UPNP_CLIENTS element.
XMLNode newClientList(XMLNode& clients) {
  XMLNode top = XMLNode::createXMLTopNode("xml", true);
  top.addAttribute("version", "1.0");
  top.addAttribute("encoding", "UTF-8");
  clients = top.addChild("UPNP_CLIENTS", false, -1);
  return top;
}

// Removes the first CLIENT whose MAC text equals mac exactly; false when there is none.
bool removeFirstClientWithMac(const XMLNode& clients, const char* mac) {
  const int count = clients.nChildNode("CLIENT");
  for (int i = 0; i < count; ++i) {
    XMLNode client = clients.getChildNode("CLIENT", i);
    const char* stored = client.getAttribute("MAC");
    if (stored != nullptr && strcmp(stored, mac) == 0) {
      client.deleteNodeContent();
      return true;
    }
  }
  return false;
}

void addNumber(XMLNode& element, const char* name, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  element.addAttribute(name, text);
}

// Appends the entry with its attributes in the file's fixed order.
bool appendClient(XMLNode& clients, const NewClient& c) {
  XMLNode entry = clients.addChild("CLIENT", false, -1);
  if (entry.isEmpty()) return false;
  entry.addAttribute("MAC", c.mac);
  if (given(c.ip)) entry.addAttribute("IP", c.ip);
  if (c.deny >= 0) addNumber(entry, "DENY", c.deny);
  if (c.profileId >= 0) addNumber(entry, "USER_PROFILE", c.profileId);
  if (given(c.user)) entry.addAttribute("USER", c.user);
  if (given(c.clientType)) entry.addAttribute("CLIENT_TYPE", c.clientType);
  return true;
}

int writeList(const XMLNode& top, const char* path) {
  return top.writeToFile(path, nullptr, 1) == 0 ? 0 : 1;
}

int addClient(const NewClient& client) {
  if (client.mac == nullptr || !isStorable(client)) return 1;
  const char* path = kyto::util::clientsXmlPath();
  if (path == nullptr) return 1;
  kyto::util::ClientListLock lock;
  if (!lock.held()) return 1;
  int error = 0;
  XMLNode top = XMLNode::openFileHelper(path, &error);
  XMLNode clients = error == 0 ? top.getChildNode("UPNP_CLIENTS") : XMLNode::emptyXMLNode;
  if (clients.isEmpty()) {
    // The old content is dropped, so keep a copy of it first; without one, change nothing.
    if (!kyto::util::keepCorruptFile(path)) return 1;
    top = newClientList(clients);
  } else {
    removeFirstClientWithMac(clients, client.mac);
  }
  if (!appendClient(clients, client)) return 1;
  return writeList(top, path);
}

int deleteClient(const char* mac) {
  if (mac == nullptr) return 1;
  const char* path = kyto::util::clientsXmlPath();
  if (path == nullptr) return 1;
  kyto::util::ClientListLock lock;
  if (!lock.held()) return 1;
  int error = 0;
  XMLNode top = XMLNode::openFileHelper(path, &error);
  if (error != 0) return 1;
  XMLNode clients = top.getChildNode("UPNP_CLIENTS");
  if (clients.isEmpty() || !removeFirstClientWithMac(clients, mac)) return 1;
  return writeList(top, path);
}

}  // namespace

extern "C" int Kyto_Util_AddClientToXMLFile(const char* mac, const char* ip, int profileId,
                                            const char* user, const char* clientType, int deny) {
  return kyto::util::statusOrFailure([&] {
    return addClient(NewClient{mac, ip, profileId, user, clientType, deny});
  });
}

extern "C" int Kyto_Util_DelClientFromXMLFile(const char* mac) {
  return kyto::util::statusOrFailure([&] { return deleteClient(mac); });
}
