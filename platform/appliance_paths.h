// The appliance's file layout and IPC key, in one place.
//
// Every absolute path that the programs and the library compile in is listed here. When the
// environment variable KYTO_ROOT is set (read with secure_getenv, so it is ignored in set-id
// programs), it prefixes each of these paths: staging, demos and tests run against a private
// root. When it is unset the appliance paths are used exactly.
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

// KYTO_ROOT when set and non-empty, else the empty text.
std::string_view rootPrefix();

// An appliance path as this process must use it: KYTO_ROOT followed by the path.
std::string rooted(std::string_view appliancePath);

}  // namespace kyto::paths
