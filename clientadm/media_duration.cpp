#include "media_duration.h"

#include "client_usage.h"

namespace kyto::clientadm {

int queryMediaDuration(int /*argc*/, char** argv) {
  // TODO: query the media metadata library; until then getDuration is refused with the usage.
  printClientUsage(argv);
  return 1;
}

}  // namespace kyto::clientadm
