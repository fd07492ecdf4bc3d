// Add and Del: rewriting the client access list under the lock.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "abi_boundary.h"
#include "common/atomic_file.h"
#include "common/client_schema.h"
#include "common/descriptors.h"
#include "common/list_history.h"
#include "config_files.h"
#include "kytoutil/kytoutil.h"
#include "xml_node.h"

namespace {

using namespace kyto::schema;
using kyto::openRegularFile;
using kyto::UniqueFd;
using kyto::writeAll;

// Far beyond any MAC, IP, user or client type, and far below the 10 MB that libxml2 reads in one
// text: a longer field would be written into a list that every later read refuses.
constexpr size_t kMaxFieldBytes = 4096;
constexpr int kMacBytes = 6;

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

bool isStorableField(const char* text) {
  const size_t length = strnlen(text, kMaxFieldBytes + 1);
  return length <= kMaxFieldBytes && XMLNode::canHold(std::string_view(text, length));
}

// Every text Add would write must survive a write and a parse unchanged.
bool isStorable(const NewClient& client) {
  for (const char* text : {client.mac, client.ip, client.user, client.clientType}) {
    if (given(text) && !isStorableField(text)) return false;
  }
  return true;
}

// A client's identity: its 6 bytes when its MAC text is valid (so "AA:0:..." and "aa:00:..." are
// one client, as the server reads the list), else the text itself.
class MacIdentity {
 public:
  explicit MacIdentity(const char* text)
      : text_(text), valid_(convertMacStrToMacBinStr(text, bytes_) == 0) {}

  bool matches(const char* stored) const {
    if (stored == nullptr) return false;
    char storedBytes[kMacBytes];
    if (valid_ && convertMacStrToMacBinStr(stored, storedBytes) == 0)
      return memcmp(bytes_, storedBytes, kMacBytes) == 0;
    // A valid and an invalid text are never equal, so the text decides every other pairing.
    return strcmp(stored, text_) == 0;
  }

 private:
  const char* text_;
  char bytes_[kMacBytes];
  bool valid_;
};

// A new list document: the declaration and an empty UPNP_CLIENTS element.
XMLNode newClientList(XMLNode& clients) {
  XMLNode top = XMLNode::createXMLTopNode("xml", true);
  top.addAttribute("version", "1.0");
  top.addAttribute("encoding", "UTF-8");
  clients = top.addChild(kListElement);
  return top;
}

// Removes every CLIENT of this client's address; returns how many there were. entries: how many
// CLIENT entries the list held before, which the list's history counts (found on the way, as a
// second walk over a big list would cost more than the history itself).
size_t removeClientsWithMac(const XMLNode& clients, const char* mac, long& entries) {
  const MacIdentity identity(mac);
  size_t removed = 0;
  entries = 0;
  for (XMLNode client = clients.getChildNode(kClientElement); !client.isEmpty();) {
    XMLNode next = client.nextSibling(kClientElement);
    ++entries;
    if (identity.matches(client.getAttribute(attributeName(kMac)))) {
      client.deleteNodeContent();
      ++removed;
    }
    client = next;
  }
  return removed;
}

void addNumber(XMLNode& element, const char* name, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  element.addAttribute(name, text);
}

// Appends the entry with its attributes in the file's fixed order.
bool appendClient(XMLNode& clients, const NewClient& c) {
  XMLNode entry = clients.addChild(kClientElement);
  if (entry.isEmpty()) return false;
  entry.addAttribute(attributeName(kMac), c.mac);
  if (given(c.ip)) entry.addAttribute(attributeName(kIp), c.ip);
  if (c.deny >= 0) addNumber(entry, attributeName(kDeny), c.deny);
  if (c.profileId >= 0) addNumber(entry, attributeName(kProfile), c.profileId);
  if (given(c.user)) entry.addAttribute(attributeName(kUser), c.user);
  if (given(c.clientType)) entry.addAttribute(attributeName(kClientType), c.clientType);
  return true;
}

// The text of a list as it will be written: 0, or why it can't be: EMSGSIZE for a list its reader
// would refuse as too large.
int listText(const XMLNode& top, std::string& content) {
  content = top.createXMLString();
  if (content.empty()) return ENOMEM;
  return content.size() > kyto::xml::kMostXmlFileBytes ? EMSGSIZE : 0;
}

// Writes the list, keeping the one it replaces in the list's history. change: what the history
// says of it (kyto::history::changeText: "add MAC", "del MAC"). 0, or the errno value of the
// write (EOVERFLOW: the history has no number left).
int writeList(const std::string& content, const char* path, std::string change,
              long replacedClients, long writtenClients) {
  kyto::WriteTarget target;
  if (const int error = kyto::findWriteTarget(path, target); error != 0) return error;
  return kyto::history::replaceList(target, content, std::move(change), replacedClients,
                                    writtenClients);
}

// What a change returns when the lock could not be taken, whose message said why.
constexpr int kLockFailed = -1;

// ---- the backup of a list that can no longer be read

constexpr int kMaxBackupsPerSecond = 100;

std::string utcTimestamp() {
  time_t now = time(nullptr);
  struct tm utc;
  char text[32];
  if (gmtime_r(&now, &utc) == nullptr || strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc) == 0)
    return "unknown-time";
  return text;
}

// A name for a backup that nobody uses yet, or empty.
std::string unusedBackupName(const std::string& path) {
  const std::string base = path + ".corrupt-" + utcTimestamp();
  for (int n = 0; n < kMaxBackupsPerSecond; ++n) {
    std::string name = n == 0 ? base : base + "-" + std::to_string(n);
    struct stat st;
    if (lstat(name.c_str(), &st) != 0 && errno == ENOENT) return name;
  }
  return {};
}

// Copies the regular file byte for byte to "<path>.corrupt-<UTC time>" in the same directory
// (with a "-<n>" suffix when that name is taken: an earlier backup is never replaced) and sets
// *backupName to that name. 0 when no file exists at path (*backupName unchanged) or the copy
// is complete and synced; else the errno value of the failure (a FIFO, device or directory
// included); ECANCELED when a termination signal came meanwhile (see kyto::replaceTarget). The
// copy is written as a temporary file and renamed: a writer killed midway leaves no backup that
// looks whole, only a temporary file that the next change clears.
int keepCorruptFile(const std::string& path, std::string* backupName) {
  // Only a regular file is copied: a FIFO would hold the lock for ever and a device such as
  // /dev/zero would fill the disk.
  UniqueFd source;
  if (const int error = openRegularFile(path, source); error != 0)
    return error == ENOENT ? 0 : error;  // nothing to keep
  struct stat st;
  if (fstat(source.get(), &st) != 0) return errno;
  const std::string name = unusedBackupName(path);
  if (name.empty()) return EEXIST;
  kyto::WriteTarget target;
  if (const int error = kyto::findWriteTarget(name, target); error != 0) return error;
  const kyto::FileAccess access{st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 0666)};
  if (const int error = kyto::copyToTarget(target, source.get(), access); error != 0) return error;
  *backupName = name;
  return 0;
}

// The copy kept of a list that is about to be replaced. When the new list is not written the
// original still stands, so the copy goes again: retries must not pile copies up.
class BackupForWrite {
 public:
  BackupForWrite() = default;
  BackupForWrite(const BackupForWrite&) = delete;
  BackupForWrite& operator=(const BackupForWrite&) = delete;
  ~BackupForWrite() {
    if (!written_ && !name_.empty()) unlink(name_.c_str());
  }

  int make(const char* path) { return keepCorruptFile(path, &name_); }
  void written() { written_ = true; }

 private:
  std::string name_;
  bool written_ = false;
};

// The list as Add and Del start from it: parsed under the exclusive lock, which is held until
// this goes.
class LockedList {
 public:
  LockedList() : path_(kyto::util::clientsXmlPath()) {
    if (held()) top_ = XMLNode::openFile(path_, report_);
  }
  bool held() const { return path_ != nullptr && lock_.held(); }
  // Why the lock is not held: ENOMEM, or kLockFailed when its message said why.
  int notHeld() const { return path_ == nullptr ? ENOMEM : kLockFailed; }
  const char* path() const { return path_; }
  const XMLNode::FileReport& report() const { return report_; }
  XMLNode& top() { return top_; }
  // UPNP_CLIENTS of a parsed list; empty when the list didn't parse or lacks it.
  XMLNode clients() const { return top_.getChildNode(kListElement); }

  // Why the list can't be read as a list: ENOENT when there is none, EBADMSG when it is not
  // well-formed or has no UPNP_CLIENTS, else the errno of a failed read or of a reader's bound.
  int unreadable() const {
    const int error = report_.errorNumber();
    return error != 0 ? error : EBADMSG;
  }

 private:
  kyto::ClientListLock lock_ =
      kyto::util::lockClientList();  // first in, so released after the document
  const char* path_;
  XMLNode::FileReport report_;
  XMLNode top_;
};

// Each returns 0, or why the list was left as it was: an errno value (libkytoutil(3), ERRORS), or
// kLockFailed.

int addClient(const NewClient& client) {
  if (client.mac == nullptr) return EINVAL;
  if (!isStorable(client)) return E2BIG;
  LockedList list;
  if (!list.held()) return list.notHeld();
  XMLNode clients = list.clients();
  long replacedClients = -1;  // a list that did not read
  long writtenClients = 1;
  // Only a list that is missing, not well-formed, or without UPNP_CLIENTS is replaced by a new
  // one, and only once a copy of it is kept. One that can't be read (a FIFO, a device, no
  // permission) or that is beyond one of the reader's bounds may be sound and is left alone.
  const int unreadable = clients.isEmpty() ? list.unreadable() : 0;
  if (unreadable != 0 && unreadable != ENOENT && unreadable != EBADMSG) return unreadable;
  // A rewrite can't keep a document type that uses parameter entities as it was written. And
  // the new entry goes without the attributes it doesn't set, its texts as given: a document type
  // that gives CLIENT attributes defaults, or folds their white space, changes what it says.
  if (!clients.isEmpty() &&
      (list.top().documentTypeExpanded() || list.top().declaresAttributesOf(kClientElement)))
    return EPROTO;
  if (clients.isEmpty()) {
    list.top() = newClientList(clients);
  } else {
    const size_t removed = removeClientsWithMac(clients, client.mac, replacedClients);
    writtenClients = replacedClients - static_cast<long>(removed) + 1;
  }
  if (!appendClient(clients, client)) return ENOMEM;
  std::string content;
  if (const int error = listText(list.top(), content); error != 0) return error;
  // A termination signal waits until the backup and the new list are both there or both gone;
  // it cuts the copying and writing short, so that it waits no longer than a rename.
  const kyto::DeferredSignals deferred;
  BackupForWrite backup;
  if (unreadable == EBADMSG) {
    if (const int error = backup.make(list.path()); error != 0) return error;
  }
  const int error = writeList(content, list.path(), kyto::history::changeText("add", client.mac),
                              replacedClients, writtenClients);
  if (error == 0) backup.written();
  return error;
}

int deleteClient(const char* mac) {
  if (mac == nullptr) return EINVAL;
  LockedList list;
  if (!list.held()) return list.notHeld();
  XMLNode clients = list.clients();
  if (clients.isEmpty()) return list.unreadable();
  long replacedClients = 0;
  const size_t removed = removeClientsWithMac(clients, mac, replacedClients);
  if (removed == 0) return ENOENT;
  if (list.top().documentTypeExpanded()) return EPROTO;
  std::string content;
  if (const int error = listText(list.top(), content); error != 0) return error;
  return writeList(content, list.path(), kyto::history::changeText("del", mac), replacedClients,
                   replacedClients - static_cast<long>(removed));
}

// The status of a change, with errno set last, once the tree is freed and the lock given up, so
// that nothing changes it after. A lock that could not be taken leaves 0: its message said why.
int statusOf(int why) {
  if (why == 0) return 0;
  errno = why == kLockFailed ? 0 : why;
  return 1;
}

}  // namespace

extern "C" int Kyto_Util_AddClientToXMLFile(const char* mac, const char* ip, int profileId,
                                            const char* user, const char* clientType, int deny) {
  int why = ENOMEM;  // what a throw means
  kyto::util::statusOrFailure([&] {
    why = addClient(NewClient{mac, ip, profileId, user, clientType, deny});
    return 0;
  });
  return statusOf(why);
}

extern "C" int Kyto_Util_DelClientFromXMLFile(const char* mac) {
  int why = ENOMEM;
  kyto::util::statusOrFailure([&] {
    why = deleteClient(mac);
    return 0;
  });
  return statusOf(why);
}
