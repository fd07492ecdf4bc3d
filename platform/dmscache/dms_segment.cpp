#include "dms_segment.h"

#include <errno.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

#include "common/appliance_paths.h"
#include "common/dms_cache_layout.h"

namespace kyto::dmscache {

namespace {

std::string failure(const char* what) {
  return std::string(what) + " of key " + std::to_string(kyto::paths::kDmsClientCacheKey) + ": " +
         std::strerror(errno);
}

}  // namespace

int getFullSegment(std::string& error) {
  int id = shmget(kyto::paths::kDmsClientCacheKey, kSegmentSize, IPC_CREAT | kSegmentMode);
  if (id < 0)
    error =
        failure("cannot get the segment") + " (needs " + std::to_string(kSegmentSize) + " bytes)";
  return id;
}

int findSegment(std::string& error) {
  int id = shmget(kyto::paths::kDmsClientCacheKey, 0, 0);
  if (id < 0) error = failure("no segment");
  return id;
}

bool createSegment(std::size_t size, std::string& error) {
  if (shmget(kyto::paths::kDmsClientCacheKey, size, IPC_CREAT | IPC_EXCL | kSegmentMode) >= 0)
    return true;
  error = failure("cannot create the segment");
  if (errno == EEXIST) error += " (remove it first)";
  return false;
}

bool removeSegment(std::string& error) {
  int id = shmget(kyto::paths::kDmsClientCacheKey, 0, 0);
  if (id < 0 && errno == ENOENT) return true;
  if (id < 0 || shmctl(id, IPC_RMID, nullptr) != 0) {
    error = failure("cannot remove the segment");
    return false;
  }
  return true;
}

AttachedSegment::~AttachedSegment() {
  if (address_ != nullptr) shmdt(address_);
}

bool AttachedSegment::attach(int id, bool readOnly, std::string& error) {
  shmid_ds info{};
  if (shmctl(id, IPC_STAT, &info) != 0) {
    error = failure("cannot inspect the segment");
    return false;
  }
  void* address = shmat(id, nullptr, readOnly ? SHM_RDONLY : 0);
  // shmat's failure is the address (void*)-1.
  if (address == reinterpret_cast<void*>(-1)) {  // NOLINT(performance-no-int-to-ptr)
    error = failure("cannot attach the segment");
    return false;
  }
  if (address_ != nullptr) shmdt(address_);
  address_ = address;
  size_ = info.shm_segsz;
  return true;
}

}  // namespace kyto::dmscache
