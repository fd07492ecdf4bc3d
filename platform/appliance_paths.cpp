#include "appliance_paths.h"

#include <stdlib.h>

namespace kyto::paths {

std::string_view rootPrefix() {
  const char* root = secure_getenv("KYTO_ROOT");
  if (root == nullptr) return {};
  std::string_view prefix(root);
  // A trailing slash would double the one every appliance path starts with.
  while (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
  return prefix;
}

std::string rooted(std::string_view appliancePath) {
  std::string path(rootPrefix());
  path += appliancePath;
  return path;
}

}  // namespace kyto::paths
