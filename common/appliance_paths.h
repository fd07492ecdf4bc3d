// The appliance's file layout and IPC key, in one place.
//
// Every absolute path that the programs and the library compile in is listed here. When the
// environment variable KYTO_ROOT is set (read with secure_getenv, so it is ignored in set-id
// programs), it prefixes each of these paths: staging, demos and tests run against a private
// root. When it is unset the appliance paths are used exactly.
//
// The root is read once, at the first call of appliancePaths(), and every path of the process
// comes from that one reading: the list, its lock and the catalogue can never disagree.
#pragma once

#include <string>
#include <string_view>

namespace kyto::paths {

inline constexpr const char kConfigDir[] = "/etc/config/kytomediasvr/";
inline constexpr const char kClientsXml[] = "/etc/config/kytomediasvr/clients.xml";
inline constexpr const char kClientsLock[] = "/etc/config/kytomediasvr/clients.lock";
inline constexpr const char kClientTypesXml[] = "/etc/config/kytomediasvr/clientTypes.xml";
inline constexpr const char kServerSettings[] = "/etc/config/KytoMediaSvr.conf";

// The DMC agent: the preferred install, and the fallback started as one command line.
inline constexpr const char kHalyardAgent[] = "/mnt/ext/opt/VELD/bin/halyard";
inline constexpr const char kHalyardFallback[] = "/usr/bin/halyard";

// Directory handed to the media metadata library at start.
inline constexpr const char kMediaLibraryDir[] = "/mnt/ext/opt/VELD/bin/";

// Browse-tree template and custom tree files.
inline constexpr const char kTreeDir[] = "/usr/local/corpus/bin/";
inline constexpr const char kTreeTemplateName[] = "UPnPTree.xml";

// System V shared-memory key of the media server's client cache.
inline constexpr int kDmsClientCacheKey = 7890;

// Every compiled-in path as this process uses it.
struct AppliancePaths {
  std::string configDir;
  std::string clientsXml;
  std::string clientsLock;
  std::string clientTypesXml;
  std::string serverSettings;
  std::string halyardAgent;
  std::string halyardFallback;
  std::string mediaLibraryDir;
  std::string treeDir;
};

// The paths below root ("" or "/" for the appliance itself); trailing slashes of root are
// dropped so that no path gets a doubled one.
AppliancePaths pathsUnder(std::string_view root);

// The process's paths: pathsUnder(KYTO_ROOT), read at the first call and kept.
const AppliancePaths& appliancePaths();

}  // namespace kyto::paths
