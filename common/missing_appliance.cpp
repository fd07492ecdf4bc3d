#include "common/missing_appliance.h"

#include <sys/stat.h>

#include <cerrno>

#include "common/safe_text.h"

namespace kyto {

std::string missingApplianceHint(std::string_view program, const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0 || errno != ENOENT) return {};
  std::string line(program);
  line += ": " + dir +
          " does not exist: on a machine that is no appliance, set KYTO_ROOT to the root of a "
          "staged appliance (KYTO_ROOT=DIR ";
  line += program;
  line += " ...)";
  // The directory comes from KYTO_ROOT, which may hold anything.
  return withoutControls(line) + "\n";
}

}  // namespace kyto
