#include "av_library.h"

#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>

namespace kyto::corvi {

namespace {

#define KYTO_STRINGIFY2(x) #x
#define KYTO_STRINGIFY(x) KYTO_STRINGIFY2(x)

// The major version of the headers compiled against: the layouts read here are only valid for
// libraries of that major version.
constexpr const char kFormatLib[] = "libavformat.so." KYTO_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR);
constexpr const char kCodecLib[] = "libavcodec.so." KYTO_STRINGIFY(LIBAVCODEC_VERSION_MAJOR);
constexpr const char kUtilLib[] = "libavutil.so." KYTO_STRINGIFY(LIBAVUTIL_VERSION_MAJOR);

void* open(const char* name) {
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) fprintf(stderr, "media metadata: cannot load %s: %s\n", name, dlerror());
  return handle;
}

template <typename Function>
bool bind(void* handle, const char* libName, const char* symbol, Function& function) {
  dlerror();
  void* address = dlsym(handle, symbol);
  if (address == nullptr) {
    const char* reason = dlerror();
    fprintf(stderr, "media metadata: cannot find %s in %s: %s\n", symbol, libName,
            reason != nullptr ? reason : "null symbol");
    return false;
  }
  function = reinterpret_cast<Function>(address);
  return true;
}

bool load(AvLibrary& lib) {
  // libavformat first: it brings the others of its own build along.
  void* format = open(kFormatLib);
  if (format == nullptr) return false;
  void* codec = open(kCodecLib);
  if (codec == nullptr) return false;
  void* util = open(kUtilLib);
  if (util == nullptr) return false;
  return bind(format, kFormatLib, "avformat_open_input", lib.openInput) &&
         bind(format, kFormatLib, "avformat_find_stream_info", lib.findStreamInfo) &&
         bind(format, kFormatLib, "avformat_close_input", lib.closeInput) &&
         bind(codec, kCodecLib, "avcodec_get_name", lib.codecName) &&
         bind(util, kUtilLib, "av_get_pix_fmt_name", lib.pixelFormatName) &&
         bind(util, kUtilLib, "av_dict_get", lib.dictGet) &&
         bind(util, kUtilLib, "av_dict_set", lib.dictSet) &&
         bind(util, kUtilLib, "av_dict_free", lib.dictFree) &&
         bind(util, kUtilLib, "av_log_set_level", lib.logSetLevel);
}

AvLibrary g_lib{};
bool g_loaded = false;

void loadOnce() {
  g_loaded = load(g_lib);
  if (g_loaded) g_lib.logSetLevel(AV_LOG_QUIET);
}

}  // namespace

const AvLibrary* avLibrary() {
  // Handles of a failed attempt are kept too: one attempt and one message per process.
  static pthread_once_t once = PTHREAD_ONCE_INIT;
  pthread_once(&once, loadOnce);
  return g_loaded ? &g_lib : nullptr;
}

}  // namespace kyto::corvi
