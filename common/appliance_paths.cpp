#include "common/appliance_paths.h"

#include <stdlib.h>

namespace kyto::paths {

namespace {

std::string_view rootFromEnvironment() {
  const char* root = secure_getenv("KYTO_ROOT");
  return root == nullptr ? std::string_view() : std::string_view(root);
}

}  // namespace

AppliancePaths pathsUnder(std::string_view root) {
  while (!root.empty() && root.back() == '/') root.remove_suffix(1);
  const auto under = [root](std::string_view path) {
    std::string rooted(root);
    rooted += path;
    return rooted;
  };
  return {under(kConfigDir),       under(kClientsXml),      under(kClientsLock),
          under(kClientTypesXml),  under(kServerSettings),  under(kHalyardAgent),
          under(kHalyardFallback), under(kMediaLibraryDir), under(kTreeDir)};
}

const AppliancePaths& appliancePaths() {
  static const AppliancePaths paths = pathsUnder(rootFromEnvironment());
  return paths;
}

}  // namespace kyto::paths
