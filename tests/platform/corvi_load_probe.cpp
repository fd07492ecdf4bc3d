// Test helper: tells whether FFmpeg's libavformat is mapped into this process before and after
// a video and an audio query.  Usage: corvi_load_probe DIR FILE
#include <stdio.h>

#include <fstream>
#include <string>

#include "common/appliance_paths.h"
#include "common/corvi_metadata.h"

namespace {

const char* avformatState() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libavformat") != std::string::npos) return "loaded";
  }
  return "absent";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: corvi_load_probe DIR FILE\n");
    return 2;
  }
  printf("before: %s\n", avformatState());
  Corvi_Init(kyto::paths::kMediaLibraryDir);
  printf("after init: %s\n", avformatState());
  // The calls clientadm makes for a file that holds no video.
  int32_t width = -1;
  int video = GetVideoMetadata(argv[1], argv[2], &width, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr);
  printf("video: %d\n", video);
  int32_t duration = -1;
  int audio = GetAudioMetadata(argv[1], argv[2], nullptr, nullptr, nullptr, nullptr, nullptr,
                               &duration, nullptr, nullptr, nullptr, nullptr, nullptr);
  printf("audio: %d, %d s\n", audio, duration);
  printf("after queries: %s\n", avformatState());
  Corvi_UnInit();
  return 0;
}
