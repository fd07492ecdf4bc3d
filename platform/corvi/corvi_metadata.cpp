#include "common/corvi_metadata.h"

#include <stdio.h>
#include <sys/stat.h>

#include <cstddef>

#include "av_library.h"
#include "media_probe.h"

namespace {

using kyto::corvi::MediaInfo;

constexpr char kUrlScheme[] = "file:";
constexpr std::size_t kSchemeLength = sizeof kUrlScheme - 1;

// "file:" + dir + file: the scheme keeps a name with a colon from being taken for a protocol.
// False when an argument is missing, the name is empty or the result doesn't fit.
bool buildUrl(const char* dir, const char* file, char* url, std::size_t size) {
  if (dir == nullptr || file == nullptr || *file == '\0') return false;
  int n = snprintf(url, size, "%s%s%s", kUrlScheme, dir, file);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

// 0 when the file is media holding a stream of the kind asked for.
int query(const char* dir, const char* file, bool video, MediaInfo& info) {
  char url[4096 + kSchemeLength];
  if (!buildUrl(dir, file, url, sizeof url)) return 1;
  const kyto::corvi::AvLibrary* av = kyto::corvi::avLibrary();
  if (av == nullptr || !kyto::corvi::probeMedia(*av, url, info)) return 1;
  struct stat st {};
  if (stat(url + kSchemeLength, &st) == 0) info.fileSize = st.st_size;
  return (video ? info.videoStreams : info.audioStreams) > 0 ? 0 : 1;
}

// What a query reports: the file's details on success, zeros on failure.
int runQuery(const char* dir, const char* file, bool video, MediaInfo& info) {
  int rc = query(dir, file, video, info);
  if (rc != 0) info = MediaInfo{};
  return rc;
}

template <typename T>
void put(T* out, T value) {
  if (out != nullptr) *out = value;
}

void putText(char* out, std::size_t size, std::string_view text) {
  if (out != nullptr) snprintf(out, size, "%.*s", static_cast<int>(text.size()), text.data());
}

}  // namespace

extern "C" int Corvi_Init(const char* /*toolDir*/) {
  // FFmpeg is loaded by the first query, not here: a program that never asks pays nothing.
  return 0;
}

extern "C" int Corvi_UnInit(void) {
  // Each query releases what it opened; the loaded libraries stay for the process's life.
  return 0;
}

extern "C" int GetVideoMetadata(const char* dir, const char* file, int32_t* width, int32_t* height,
                                int32_t* bitRate, int32_t* frameRateMilli, int32_t* sampleRate,
                                int32_t* channels, int32_t* bitsPerSample, int32_t* audioStreams,
                                int32_t* durationSeconds, int32_t* videoStreams, char* videoCodec,
                                char* audioCodec, int32_t* year, int32_t* rotation,
                                int32_t* videoProfile, int32_t* videoLevel, int32_t* trackNumber,
                                int32_t* discNumber, int32_t* subtitleStreams, int32_t* hasCoverArt,
                                int32_t* reserved, char containerName[16], char pixelFormat[16],
                                int64_t* fileSize) {
  MediaInfo info;
  int rc = runQuery(dir, file, true, info);
  put(width, info.width);
  put(height, info.height);
  put(bitRate, info.bitRate);
  put(frameRateMilli, info.frameRateMilli);
  put(sampleRate, info.sampleRate);
  put(channels, info.channels);
  put(bitsPerSample, info.bitsPerSample);
  put(audioStreams, info.audioStreams);
  put(durationSeconds, info.durationSeconds);
  put(videoStreams, info.videoStreams);
  putText(videoCodec, CORVI_TEXT_SIZE, info.videoCodec);
  putText(audioCodec, CORVI_TEXT_SIZE, info.audioCodec);
  put(year, info.year);
  put(rotation, info.rotation);
  put(videoProfile, info.videoProfile);
  put(videoLevel, info.videoLevel);
  put(trackNumber, info.trackNumber);
  put(discNumber, info.discNumber);
  put(subtitleStreams, info.subtitleStreams);
  put(hasCoverArt, info.hasCoverArt);
  put(reserved, int32_t{0});
  putText(containerName, 16, info.containerName);
  putText(pixelFormat, 16, info.pixelFormat);
  put(fileSize, info.fileSize);
  return rc;
}

extern "C" int GetAudioMetadata(const char* dir, const char* file, int32_t* bitRate,
                                int32_t* sampleRate, int32_t* channels, int32_t* bitsPerSample,
                                int32_t* audioStreams, int32_t* durationSeconds, int32_t* year,
                                int32_t* trackNumber, int32_t* discNumber, int32_t* subtitleStreams,
                                char* audioCodec) {
  MediaInfo info;
  int rc = runQuery(dir, file, false, info);
  put(bitRate, info.audioBitRate);
  put(sampleRate, info.sampleRate);
  put(channels, info.channels);
  put(bitsPerSample, info.bitsPerSample);
  put(audioStreams, info.audioStreams);
  put(durationSeconds, info.durationSeconds);
  put(year, info.year);
  put(trackNumber, info.trackNumber);
  put(discNumber, info.discNumber);
  put(subtitleStreams, info.subtitleStreams);
  putText(audioCodec, CORVI_TEXT_SIZE, info.audioCodec);
  return rc;
}
