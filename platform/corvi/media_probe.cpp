#include "media_probe.h"

#include <cstdlib>
#include <limits>
#include <string_view>

namespace kyto::corvi {

namespace {

std::int32_t clampToInt32(long double value) {
  if (value >= static_cast<long double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (value <= static_cast<long double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// Closes the input on every path out of the probe.
class InputGuard {
 public:
  InputGuard(const AvLibrary& av, AVFormatContext* context) : av_(av), context_(context) {}
  ~InputGuard() {
    if (context_ != nullptr) av_.closeInput(&context_);
  }
  InputGuard(const InputGuard&) = delete;
  InputGuard& operator=(const InputGuard&) = delete;

 private:
  const AvLibrary& av_;
  AVFormatContext* context_;
};

AVFormatContext* openInput(const AvLibrary& av, const char* url) {
  AVDictionary* options = nullptr;
  // A playlist or reference file must not make a metadata query reach beyond local files.
  av.dictSet(&options, "protocol_whitelist", "file", 0);
  AVFormatContext* context = nullptr;
  int rc = av.openInput(&context, url, nullptr, &options);
  av.dictFree(&options);
  return rc < 0 ? nullptr : context;
}

bool isCoverArt(const AVStream* stream) {
  return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

std::int32_t secondsOf(const AVFormatContext* context) {
  if (context->duration != AV_NOPTS_VALUE && context->duration >= 0)
    return clampToInt32(static_cast<long double>(context->duration) / AV_TIME_BASE);
  // No overall duration: the longest stream's.
  long double longest = 0;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* stream = context->streams[i];
    AVRational base = stream->time_base;
    if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0 || base.num <= 0 ||
        base.den <= 0)
      continue;
    long double seconds = static_cast<long double>(stream->duration) * base.num / base.den;
    if (seconds > longest) longest = seconds;
  }
  return clampToInt32(longest);
}

std::int32_t milliRate(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return 0;
  return clampToInt32(static_cast<long double>(rate.num) * 1000 / rate.den);
}

// The leading number of a tag such as "2019-05-01" or "3/12"; 0 when there is none.
std::int32_t leadingNumber(const AvLibrary& av, const AVDictionary* tags, const char* key) {
  const AVDictionaryEntry* entry = av.dictGet(tags, key, nullptr, 0);
  if (entry == nullptr || entry->value == nullptr) return 0;
  long long value = std::strtoll(entry->value, nullptr, 10);
  return value > 0 ? clampToInt32(static_cast<long double>(value)) : 0;
}

std::string_view nameOrEmpty(const char* name) {
  return name != nullptr ? name : "";
}

void takeVideo(const AvLibrary& av, const AVStream* stream, MediaInfo& info) {
  const AVCodecParameters* par = stream->codecpar;
  info.width = par->width;
  info.height = par->height;
  info.videoCodec = nameOrEmpty(av.codecName(par->codec_id));
  info.pixelFormat = nameOrEmpty(av.pixelFormatName(static_cast<AVPixelFormat>(par->format)));
  info.frameRateMilli = milliRate(stream->avg_frame_rate);
  if (info.frameRateMilli == 0) info.frameRateMilli = milliRate(stream->r_frame_rate);
  info.videoProfile = par->profile >= 0 ? par->profile : 0;
  info.videoLevel = par->level >= 0 ? par->level : 0;
}

int channelsOf(const AVCodecParameters* par) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 24, 100)
  return par->ch_layout.nb_channels;
#else
  return par->channels;
#endif
}

void takeAudio(const AvLibrary& av, const AVStream* stream, MediaInfo& info) {
  const AVCodecParameters* par = stream->codecpar;
  info.sampleRate = par->sample_rate;
  info.channels = channelsOf(par);
  info.bitsPerSample =
      par->bits_per_raw_sample > 0 ? par->bits_per_raw_sample : par->bits_per_coded_sample;
  info.audioCodec = nameOrEmpty(av.codecName(par->codec_id));
  info.audioBitRate = clampToInt32(static_cast<long double>(par->bit_rate));
}

// The first streams of each kind give the details; all are counted.
void takeStreams(const AvLibrary& av, const AVFormatContext* context, MediaInfo& info) {
  std::int64_t streamBitRate = 0;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* stream = context->streams[i];
    AVMediaType type = stream->codecpar->codec_type;
    if (isCoverArt(stream)) {
      info.hasCoverArt = 1;
    } else if (type == AVMEDIA_TYPE_VIDEO) {
      if (info.videoStreams++ == 0) takeVideo(av, stream, info);
    } else if (type == AVMEDIA_TYPE_AUDIO) {
      if (info.audioStreams++ == 0) takeAudio(av, stream, info);
    } else if (type == AVMEDIA_TYPE_SUBTITLE) {
      ++info.subtitleStreams;
    }
    if (!isCoverArt(stream) && stream->codecpar->bit_rate > 0)
      streamBitRate += stream->codecpar->bit_rate;
  }
  std::int64_t bitRate = context->bit_rate > 0 ? context->bit_rate : streamBitRate;
  info.bitRate = clampToInt32(static_cast<long double>(bitRate));
  if (info.audioBitRate <= 0) info.audioBitRate = info.bitRate;
}

}  // namespace

bool probeMedia(const AvLibrary& av, const char* url, MediaInfo& info) {
  AVFormatContext* context = openInput(av, url);
  if (context == nullptr) return false;
  InputGuard guard(av, context);
  std::string_view format = context->iformat->name;
  // The ANSI art reader turns any .nfo or .ans text file into a "video".
  if (format == "tty") return false;
  // A failure here still leaves what the file header told.
  av.findStreamInfo(context, nullptr);
  takeStreams(av, context, info);
  info.durationSeconds = secondsOf(context);
  info.containerName = format.substr(0, format.find(','));
  info.year = leadingNumber(av, context->metadata, "date");
  if (info.year == 0) info.year = leadingNumber(av, context->metadata, "year");
  info.trackNumber = leadingNumber(av, context->metadata, "track");
  info.discNumber = leadingNumber(av, context->metadata, "disc");
  return true;
}

}  // namespace kyto::corvi
