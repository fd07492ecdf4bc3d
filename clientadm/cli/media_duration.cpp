#include "media_duration.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/appliance_paths.h"
#include "common/descriptors.h"

namespace kyto::clientadm {

namespace {

constexpr std::string_view kCurrentDirectory = "./";

// Out-parameters of both queries. The audio query is handed the same variables as the video
// query where the library shares them, so what one query leaves is what the other finds.
struct MetadataStorage {
  std::int32_t width = 0, height = 0, bitRate = 0, frameRate = 0, sampleRate = 0, channels = 0;
  std::int32_t bitsPerSample = 0, audioStreams = 0, duration = 0, videoStreams = 0;
  char videoCodec[CORVI_TEXT_SIZE] = {};
  char audioCodec[CORVI_TEXT_SIZE] = {};
  std::int32_t year = 0, rotation = 0, videoProfile = 0, videoLevel = 0, trackNumber = 0;
  std::int32_t discNumber = 0, subtitleStreams = 0, hasCoverArt = 0, reserved = 0;
  char containerName[16] = {};
  char pixelFormat[16] = {};
  std::int64_t fileSize = 0;
};

int askVideo(const MediaLibrary& library, const MediaPath& path, MetadataStorage& m) {
  return library.videoMetadata(path.directory, path.fileName, &m.width, &m.height, &m.bitRate,
                               &m.frameRate, &m.sampleRate, &m.channels, &m.bitsPerSample,
                               &m.audioStreams, &m.duration, &m.videoStreams, m.videoCodec,
                               m.audioCodec, &m.year, &m.rotation, &m.videoProfile, &m.videoLevel,
                               &m.trackNumber, &m.discNumber, &m.subtitleStreams, &m.hasCoverArt,
                               &m.reserved, m.containerName, m.pixelFormat, &m.fileSize);
}

int askAudio(const MediaLibrary& library, const MediaPath& path, MetadataStorage& m) {
  return library.audioMetadata(path.directory, path.fileName, &m.bitRate, &m.sampleRate,
                               &m.channels, &m.bitsPerSample, &m.audioStreams, &m.duration, &m.year,
                               &m.trackNumber, &m.discNumber, &m.subtitleStreams, m.audioCodec);
}

// The library would wait for ever on a FIFO and reports a missing file as a silent one, so the
// path is tried first: only a regular file that we may read is put to it.
bool isReadableMediaFile(const char* filePath) {
  UniqueFd file;
  const int error = openRegularFile(filePath, file);
  if (error == 0) return true;
  const char* reason = inputProblem(error);
  std::fprintf(stderr, "Error, can't read --filePath: %s.\n", reason);
  return false;
}

}  // namespace

bool splitMediaPath(std::string_view path, MediaPath& out) {
  std::memset(&out, 0, sizeof out);
  const auto slash = path.rfind('/');
  std::string_view directory = kCurrentDirectory;
  std::string_view name = path;
  if (slash != std::string_view::npos) {
    directory = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
  if (directory.size() >= sizeof out.directory) return false;
  directory.copy(out.directory, directory.size());
  name.copy(out.fileName, std::min(name.size(), sizeof out.fileName - 1));
  return true;
}

const MediaLibrary& corviLibrary() {
  static const MediaLibrary library{Corvi_Init, Corvi_UnInit, GetVideoMetadata, GetAudioMetadata};
  return library;
}

std::int32_t queryDurationSeconds(const MediaLibrary& library, const MediaPath& path) {
  library.init(paths::appliancePaths().mediaLibraryDir.c_str());
  MetadataStorage storage;
  // A file that the video query answers is never put to the audio query.
  std::int32_t seconds = 0;
  if (askVideo(library, path, storage) == 0 || askAudio(library, path, storage) == 0)
    seconds = storage.duration;
  library.unInit();
  return seconds;
}

std::string formatDuration(std::int32_t seconds) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d\n", seconds / 3600, seconds % 3600 / 60,
                seconds % 60);
  return text;
}

int queryMediaDuration(const char* filePath) {
  MediaPath path;
  if (!splitMediaPath(filePath, path)) {
    std::fputs("Error, the directory of --filePath is longer than 1023 bytes.\n", stderr);
    return 1;
  }
  if (!isReadableMediaFile(filePath)) return 1;
  std::fputs(formatDuration(queryDurationSeconds(corviLibrary(), path)).c_str(), stdout);
  return 0;
}

}  // namespace kyto::clientadm
