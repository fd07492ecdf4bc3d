// Reading the client type catalogue.
#include <stdlib.h>

#include "abi_boundary.h"
#include "config_files.h"
#include "kytoutil/kytoutil.h"
#include "xml_node.h"

namespace {

long numberOrZero(const char* text) {
  return text != nullptr ? strtol(text, nullptr, 10) : 0;
}

// Hands one entry to the callback with its names turned into numbers; false to stop.
bool visitClientType(const XMLNode& type, ClientTypeSettingsCallback callback, void* context) {
  return callback(context, type.getAttribute("SHORT_NAME"), type.getAttribute("FULL_NAME"),
                  FlagStrToUint(s_flagName, type.getAttribute("FLAG")),
                  FlagStrToUint(s_sFlagName, type.getAttribute("SFLAG")),
                  type.getAttribute("PATTERN"),
                  FlagStrToInt(s_matchTypeName, type.getAttribute("PATTERN_TYPE")),
                  FlagStrToInt(s_compareTypeName, type.getAttribute("COMPARE_TYPE")),
                  numberOrZero(type.getAttribute("BFLAG")), type.getAttribute("TRANSCODE")) == 0;
}

int readClientTypes(ClientTypeSettingsCallback callback, void* context) {
  const char* path = kyto::util::clientTypesXmlPath();
  if (path == nullptr) return 1;
  // The catalogue has no writer in this system, so it is read without the lock.
  int error = 0;
  XMLNode types = XMLNode::openFileHelper(path, &error, "UPNP_CLIENTTYPES");
  if (error != 0) return 1;
  const int count = types.nChildNode("CLIENTTYPE");
  for (int i = 0; i < count; ++i) {
    if (!visitClientType(types.getChildNode("CLIENTTYPE", i), callback, context)) break;
  }
  return 0;
}

}  // namespace

extern "C" int Kyto_Util_ReadClientTypeSettings(ClientTypeSettingsCallback callback,
                                                void* context) {
  if (callback == nullptr) return 1;
  return kyto::util::statusOrFailure([&] { return readClientTypes(callback, context); });
}
