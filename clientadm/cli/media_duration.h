// The getDuration command: the play duration of one media file, from the media metadata library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/corvi_metadata.h"

namespace kyto::clientadm {

// Runs getDuration on the path given with --filePath and returns the exit status. A path that
// can't be opened for reading as a regular file is an error (one line on stderr, status 1); a
// regular file that neither query answers is not: its duration is 00:00:00.
int queryMediaDuration(const char* filePath);

// A media file as the library takes it: the directory through the last '/', and the name after.
struct MediaPath {
  char directory[1024];
  char fileName[1024];  // cut to 1023 bytes
};

// A path without '/' is taken relative to the current directory. False when the directory part
// does not fit its buffer.
bool splitMediaPath(std::string_view path, MediaPath& out);

// The library functions the query calls, replaceable in tests.
struct MediaLibrary {
  decltype(&Corvi_Init) init;
  decltype(&Corvi_UnInit) unInit;
  decltype(&GetVideoMetadata) videoMetadata;
  decltype(&GetAudioMetadata) audioMetadata;
};

// The appliance's media metadata library.
const MediaLibrary& corviLibrary();

// The duration in whole seconds: the video query's, else the audio query's, else 0.
std::int32_t queryDurationSeconds(const MediaLibrary& library, const MediaPath& path);

// "H:MM:SS\n" with every field at least two digits and the hours unbounded.
std::string formatDuration(std::int32_t seconds);

}  // namespace kyto::clientadm
