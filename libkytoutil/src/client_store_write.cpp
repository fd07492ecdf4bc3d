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
#include "xml_well_formed.h"

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
  return strnlen(text, kMaxFieldBytes + 1) <= kMaxFieldBytes && kyto::xmlnode::isXmlText(text);
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
  clients = top.addChild(kListElement, false, -1);
  return top;
}

// Removes every CLIENT of this client's address; returns how many there were. entries: how many
// CLIENT entries the list held before, which the list's history counts (found on the way, as a
// second walk over a big list would cost more than the history itself).
size_t removeClientsWithMac(const XMLNode& clients, const char* mac, long& entries) {
  const MacIdentity identity(mac);
  std::vector<XMLNode> matching;
  const int count = clients.nChildNode(kClientElement);
  entries = count;
  for (int i = 0; i < count; ++i) {
    XMLNode client = clients.getChildNode(kClientElement, i);
    if (identity.matches(client.getAttribute(attributeName(kMac)))) matching.push_back(client);
  }
  // Removed after the walk, which a change of the tree would restart at every step.
  for (XMLNode& client : matching) client.deleteNodeContent();
  return matching.size();
}

void addNumber(XMLNode& element, const char* name, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  element.addAttribute(name, text);
}

// Appends the entry with its attributes in the file's fixed order.
bool appendClient(XMLNode& clients, const NewClient& c) {
  XMLNode entry = clients.addChild(kClientElement, false, -1);
  if (entry.isEmpty()) return false;
  entry.addAttribute(attributeName(kMac), c.mac);
  if (given(c.ip)) entry.addAttribute(attributeName(kIp), c.ip);
  if (c.deny >= 0) addNumber(entry, attributeName(kDeny), c.deny);
  if (c.profileId >= 0) addNumber(entry, attributeName(kProfile), c.profileId);
  if (given(c.user)) entry.addAttribute(attributeName(kUser), c.user);
  if (given(c.clientType)) entry.addAttribute(attributeName(kClientType), c.clientType);
  return true;
}

// Writes the list, keeping the one it replaces in the list's history. change: what the history
// says of it (kyto::history::changeText: "add MAC", "del MAC").
int writeList(const XMLNode& top, const char* path, std::string change, long replacedClients,
              long writtenClients) {
  kyto::WriteTarget target;
  if (kyto::findWriteTarget(path, target) != 0) return 1;
  const std::string content = top.createXMLString(1);
  return kyto::history::replaceList(target, content, std::move(change), replacedClients,
                                    writtenClients) == 0
             ? 0
             : 1;
}

bool isMissing(const char* path) {
  struct stat st;
  return stat(path, &st) != 0 && errno == ENOENT;
}

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

// Creates a backup file under a name nobody uses yet; sets name to it.
UniqueFd createUnusedBackup(const std::string& path, mode_t mode, std::string& name) {
  const std::string base = path + ".corrupt-" + utcTimestamp();
  for (int n = 0; n < kMaxBackupsPerSecond; ++n) {
    name = n == 0 ? base : base + "-" + std::to_string(n);
    UniqueFd fd(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.valid() || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

bool copyContent(int from, int to) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (writeAll(to, std::string_view(buffer, static_cast<size_t>(n))) != 0) return false;
  }
}

// Copies the regular file byte for byte to "<path>.corrupt-<UTC time>" in the same directory
// (with a "-<n>" suffix when that name is taken: an earlier backup is never replaced) and sets
// *backupName to that name. True when no file exists at path (*backupName unchanged) or the copy
// is complete and synced; false otherwise (a FIFO, device or directory included), leaving no
// partial copy.
bool keepCorruptFile(const std::string& path, std::string* backupName) {
  // Only a regular file is copied: a FIFO would hold the lock for ever and a device such as
  // /dev/zero would fill the disk.
  UniqueFd source;
  if (const int error = openRegularFile(path, source); error != 0)
    return error == ENOENT;  // nothing to keep
  struct stat st;
  if (fstat(source.get(), &st) != 0) return false;
  std::string name;
  UniqueFd backup = createUnusedBackup(path, st.st_mode & 0666, name);
  if (!backup.valid()) return false;
  bool copied = copyContent(source.get(), backup.get()) && fsync(backup.get()) == 0;
  if (backup.close() == 0 && copied) {
    *backupName = name;
    return true;
  }
  unlink(name.c_str());
  return false;
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

  bool make(const char* path) { return keepCorruptFile(path, &name_); }
  void written() { written_ = true; }

 private:
  std::string name_;
  bool written_ = false;
};

// Only a list that is missing, not well-formed, or without UPNP_CLIENTS is replaced by a new
// one, and only once a copy of it is kept. One that can't be read (a FIFO, a device, no
// permission) or that ran into memory or the parser's limits may be sound and is left alone.
bool mayStartNewList(int error, const char* path, BackupForWrite& backup) {
  switch (error) {
    case XMLNode::kFileUnreadable:
      return isMissing(path);
    case XMLNode::kFileParsed:  // without UPNP_CLIENTS
    case XMLNode::kFileMalformed:
    case XMLNode::kFileTagMissing:
      return backup.make(path);
    default:
      return false;
  }
}

// The list as Add and Del start from it: parsed under the exclusive lock, which is held until
// this goes. error is XMLNode's FileError of the parse.
class LockedList {
 public:
  LockedList() : path_(kyto::util::clientsXmlPath()) {
    if (held()) top_ = XMLNode::openFileHelper(path_, &error_);
  }
  bool held() const { return path_ != nullptr && lock_.held(); }
  const char* path() const { return path_; }
  int error() const { return error_; }
  XMLNode& top() { return top_; }
  // UPNP_CLIENTS of a parsed list; empty when the list didn't parse or lacks it.
  XMLNode clients() const {
    return error_ == 0 ? top_.getChildNode(kListElement) : XMLNode::emptyXMLNode;
  }

 private:
  kyto::ClientListLock lock_ =
      kyto::util::lockClientList();  // first in, so released after the document
  const char* path_;
  int error_ = XMLNode::kFileUnreadable;
  XMLNode top_;
};

int addClient(const NewClient& client) {
  if (client.mac == nullptr || !isStorable(client)) return 1;
  LockedList list;
  if (!list.held()) return 1;
  XMLNode clients = list.clients();
  long replacedClients = -1;  // a list that did not read
  long writtenClients = 1;
  // From the backup to the rename, a termination signal or a file-size limit waits: the backup
  // and the temporary file are either complete or gone when it takes effect.
  const kyto::DeferredSignals deferred;
  BackupForWrite backup;
  if (!clients.isEmpty()) {
    const size_t removed = removeClientsWithMac(clients, client.mac, replacedClients);
    writtenClients = replacedClients - static_cast<long>(removed) + 1;
  } else if (mayStartNewList(list.error(), list.path(), backup)) {
    list.top() = newClientList(clients);
  } else {
    return 1;
  }
  if (!appendClient(clients, client) ||
      writeList(list.top(), list.path(), kyto::history::changeText("add", client.mac),
                replacedClients, writtenClients) != 0)
    return 1;
  backup.written();
  return 0;
}

int deleteClient(const char* mac) {
  if (mac == nullptr) return 1;
  LockedList list;
  if (!list.held()) return 1;
  XMLNode clients = list.clients();
  long replacedClients = 0;
  if (clients.isEmpty()) return 1;
  const size_t removed = removeClientsWithMac(clients, mac, replacedClients);
  if (removed == 0) return 1;
  return writeList(list.top(), list.path(), kyto::history::changeText("del", mac), replacedClients,
                   replacedClients - static_cast<long>(removed));
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
