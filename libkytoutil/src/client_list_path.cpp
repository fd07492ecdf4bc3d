#include "client_list_path.h"

#include "common/appliance_paths.h"
#include "kytoutil/kytoutil.h"

namespace kyto::util {

namespace {
// Set once and never freed: every later parse and write of the list uses it.
char* s_clientsXmlPath = nullptr;
}  // namespace

const char* clientsXmlPath() {
  if (s_clientsXmlPath == nullptr)
    s_clientsXmlPath = GetUPnPConfig(kyto::paths::appliancePaths().clientsXml.c_str());
  return s_clientsXmlPath;
}

}  // namespace kyto::util
