#include "client_list_lock.h"

#include <stdio.h>
#include <string.h>

#include "common/appliance_paths.h"
#include "common/client_list_lock.h"

namespace kyto::util {

ClientListLock::ClientListLock() {
  // The lock file is used by its own path, not through GetUPnPConfig.
  int error = 0;
  fd_ = lockClientList(kyto::paths::appliancePaths().clientsLock, &error);
  if (!fd_.valid()) fprintf(stderr, "Lock file failed(%d): %s\n", error, strerror(error));
}

}  // namespace kyto::util
