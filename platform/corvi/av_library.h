// FFmpeg's functions, looked up at the first query so that programs linking the media metadata
// library don't load FFmpeg at start-up.
#pragma once

// FFmpeg's headers, for types, layouts and version numbers only: nothing here is linked.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

namespace kyto::corvi {

struct AvLibrary {
  decltype(&avformat_open_input) openInput;
  decltype(&avformat_find_stream_info) findStreamInfo;
  decltype(&avformat_close_input) closeInput;
  decltype(&avcodec_get_name) codecName;
  decltype(&av_get_pix_fmt_name) pixelFormatName;
  decltype(&av_dict_get) dictGet;
  decltype(&av_dict_set) dictSet;
  decltype(&av_dict_free) dictFree;
  decltype(&av_log_set_level) logSetLevel;
};

// The loaded functions, or null when FFmpeg can't be loaded; the reason is written once to
// standard error. Safe to call from any thread; the libraries stay loaded until exit.
const AvLibrary* avLibrary();

}  // namespace kyto::corvi
