// The list command's records as one JSON array, for programs that read the listing: every text
// exactly as the source gave it, where the text listing must replace '|' and control characters.
#pragma once

#include <cstdio>
#include <string>

#include "client_record.h"

namespace kyto::clientadm {

// One record as a JSON object on one line, keys in this order: "deny" (boolean), "mac", "ip",
// "deviceName", "clientType", "user" (strings, "" when not given), "profileId" (number, null
// when none), "comeFrom" (number) and "source" ("userSettings", "clientCache" or
// "searchCache"). Bytes that are not valid UTF-8 become U+FFFD.
std::string clientRecordJson(const ClientRecord& record);

// Writes the records from head on as one JSON array, one object per line: "[]\n" when there is
// none.
void writeJsonListing(const ClientRecord* head, std::FILE* out);

}  // namespace kyto::clientadm
