// Reading a media file's streams through libavformat.
#pragma once

#include "av_library.h"
#include "media_info.h"

namespace kyto::corvi {

// Fills info from what libavformat finds in the file at url (a "file:" URL). Returns false when
// the file can't be opened or is not a media file.
bool probeMedia(const AvLibrary& av, const char* url, MediaInfo& info);

}  // namespace kyto::corvi
