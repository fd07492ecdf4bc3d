// Reading a media file's streams through libavformat, and what they tell.
#pragma once

#include <cstdint>
#include <string_view>

#include "av_library.h"

namespace kyto::corvi {

// What the media metadata queries report of a file; zero or empty where the file doesn't say.
struct MediaInfo {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bitRate = 0;       // bits per second of the whole file
  std::int32_t audioBitRate = 0;  // of the first audio stream, else the whole file's
  std::int32_t frameRateMilli = 0;
  std::int32_t sampleRate = 0;
  std::int32_t channels = 0;
  std::int32_t bitsPerSample = 0;
  std::int32_t audioStreams = 0;
  std::int32_t videoStreams = 0;  // cover art is not counted
  std::int32_t subtitleStreams = 0;
  std::int32_t durationSeconds = 0;  // rounded down
  std::int32_t year = 0;
  std::int32_t rotation = 0;
  std::int32_t videoProfile = 0;
  std::int32_t videoLevel = 0;
  std::int32_t trackNumber = 0;
  std::int32_t discNumber = 0;
  std::int32_t hasCoverArt = 0;
  // FFmpeg's own static names: nothing to free, nothing to allocate.
  std::string_view videoCodec;
  std::string_view audioCodec;
  std::string_view containerName;
  std::string_view pixelFormat;
  std::int64_t fileSize = 0;
};

// Fills info from what libavformat finds in the file at url (a "file:" URL). Returns false when
// the file can't be opened or is not a media file.
bool probeMedia(const AvLibrary& av, const char* url, MediaInfo& info);

}  // namespace kyto::corvi
