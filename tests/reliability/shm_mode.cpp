// Sets the permission bits of the client cache segment, which no shell tool can change.
//   reliability_shm_mode OCTAL_MODE
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <cstdlib>

#include "common/appliance_paths.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: reliability_shm_mode OCTAL_MODE\n", stderr);
    return 2;
  }
  const int id = shmget(kyto::paths::kDmsClientCacheKey, 0, 0);
  shmid_ds segment{};
  if (id < 0 || shmctl(id, IPC_STAT, &segment) != 0) {
    std::perror("reliability_shm_mode: no segment");
    return 1;
  }
  segment.shm_perm.mode = static_cast<unsigned short>(std::strtoul(argv[1], nullptr, 8) & 0777);
  if (shmctl(id, IPC_SET, &segment) != 0) {
    std::perror("reliability_shm_mode: IPC_SET");
    return 1;
  }
  return 0;
}
