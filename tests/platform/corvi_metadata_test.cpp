// The media metadata queries on media made by the test itself (WAV files written here) and on the
// small files of tests/media.
#include "common/corvi_metadata.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/appliance_paths.h"
#include "test_support.h"

extern "C" {
#include <libavformat/version.h>
}

namespace {

using kyto::test::ProgramResult;
using kyto::test::TempDir;

// With the trailing '/' the queries expect.
constexpr char kMediaDir[] = KYTO_TEST_MEDIA_DIR "/";

struct VideoOut {
  int32_t width = 77, height = 77, bitRate = 77, frameRateMilli = 77, sampleRate = 77,
          channels = 77, bitsPerSample = 77, audioStreams = 77, duration = 77, videoStreams = 77;
  char videoCodec[CORVI_TEXT_SIZE] = "junk", audioCodec[CORVI_TEXT_SIZE] = "junk";
  int32_t year = 77, rotation = 77, profile = 77, level = 77, track = 77, disc = 77,
          subtitleStreams = 77, hasCoverArt = 77, reserved = 77;
  char container[16] = "junk", pixelFormat[16] = "junk";
  int64_t fileSize = 77;
  int rc = -1;
};

struct AudioOut {
  int32_t bitRate = 77, sampleRate = 77, channels = 77, bitsPerSample = 77, audioStreams = 77,
          duration = 77, year = 77, track = 77, disc = 77, subtitleStreams = 77;
  char codec[CORVI_TEXT_SIZE] = "junk";
  int rc = -1;
};

VideoOut queryVideo(const std::string& dir, const std::string& file) {
  VideoOut o;
  o.rc = GetVideoMetadata(
      dir.c_str(), file.c_str(), &o.width, &o.height, &o.bitRate, &o.frameRateMilli, &o.sampleRate,
      &o.channels, &o.bitsPerSample, &o.audioStreams, &o.duration, &o.videoStreams, o.videoCodec,
      o.audioCodec, &o.year, &o.rotation, &o.profile, &o.level, &o.track, &o.disc,
      &o.subtitleStreams, &o.hasCoverArt, &o.reserved, o.container, o.pixelFormat, &o.fileSize);
  return o;
}

AudioOut queryAudio(const std::string& dir, const std::string& file) {
  AudioOut o;
  o.rc = GetAudioMetadata(dir.c_str(), file.c_str(), &o.bitRate, &o.sampleRate, &o.channels,
                          &o.bitsPerSample, &o.audioStreams, &o.duration, &o.year, &o.track,
                          &o.disc, &o.subtitleStreams, o.codec);
  return o;
}

void expectAllZero(const VideoOut& o) {
  for (int32_t v :
       {o.width, o.height, o.bitRate, o.frameRateMilli, o.sampleRate, o.channels, o.bitsPerSample,
        o.audioStreams, o.duration, o.videoStreams, o.year, o.rotation, o.profile, o.level, o.track,
        o.disc, o.subtitleStreams, o.hasCoverArt, o.reserved})
    EXPECT_EQ(v, 0);
  for (const char* text : {o.videoCodec, o.audioCodec, o.container, o.pixelFormat})
    EXPECT_STREQ(text, "");
  EXPECT_EQ(o.fileSize, 0);
}

void expectAllZero(const AudioOut& o) {
  for (int32_t v : {o.bitRate, o.sampleRate, o.channels, o.bitsPerSample, o.audioStreams,
                    o.duration, o.year, o.track, o.disc, o.subtitleStreams})
    EXPECT_EQ(v, 0);
  EXPECT_STREQ(o.codec, "");
}

void append(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// The 44-byte header of a PCM WAV file.
std::string wavHeader(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t dataBytes) {
  std::string h = "RIFF";
  append(h, 36 + dataBytes, 4);
  h += "WAVEfmt ";
  append(h, 16, 4);
  append(h, 1, 2);  // PCM
  append(h, channels, 2);
  append(h, rate, 4);
  append(h, rate * channels * bits / 8, 4);
  append(h, channels * bits / 8, 2);
  append(h, bits, 2);
  h += "data";
  append(h, dataBytes, 4);
  return h;
}

void writeWav(const std::string& path, uint32_t rate, uint16_t channels, uint16_t bits,
              double seconds) {
  auto dataBytes = static_cast<uint32_t>(rate * seconds) * channels * bits / 8;
  kyto::test::writeFile(path,
                        wavHeader(rate, channels, bits, dataBytes) + std::string(dataBytes, '\0'));
}

class CorviTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = root_.path() + "/"; }

  TempDir root_;
  std::string dir_;  // with the trailing '/' the queries expect
};

TEST_F(CorviTest, VideoFileAnswersBothQueries) {
  VideoOut v = queryVideo(kMediaDir, "clip.mp4");
  ASSERT_EQ(v.rc, 0);
  EXPECT_EQ(v.duration, 1);  // 1.5 s, rounded down
  EXPECT_EQ(v.width, 64);
  EXPECT_EQ(v.height, 48);
  EXPECT_EQ(v.frameRateMilli, 10000);
  EXPECT_EQ(v.videoStreams, 1);
  EXPECT_EQ(v.audioStreams, 1);
  EXPECT_EQ(v.subtitleStreams, 0);
  EXPECT_EQ(v.sampleRate, 44100);
  EXPECT_EQ(v.channels, 1);
  EXPECT_GT(v.bitRate, 0);
  EXPECT_STREQ(v.videoCodec, "h264");
  EXPECT_STREQ(v.audioCodec, "aac");
  EXPECT_STREQ(v.container, "mov");
  EXPECT_STREQ(v.pixelFormat, "yuv420p");
  EXPECT_EQ(v.hasCoverArt, 0);
  struct stat st {};
  ASSERT_EQ(stat((std::string(kMediaDir) + "clip.mp4").c_str(), &st), 0);
  EXPECT_EQ(v.fileSize, st.st_size);

  AudioOut a = queryAudio(kMediaDir, "clip.mp4");
  EXPECT_EQ(a.rc, 0);
  EXPECT_EQ(a.duration, 1);
  EXPECT_STREQ(a.codec, "aac");
}

TEST_F(CorviTest, VideoWithoutSoundFailsTheAudioQuery) {
  VideoOut v = queryVideo(kMediaDir, "silent.mkv");
  EXPECT_EQ(v.rc, 0);
  EXPECT_EQ(v.duration, 2);
  EXPECT_EQ(v.audioStreams, 0);
  EXPECT_STREQ(v.container, "matroska");
  AudioOut a = queryAudio(kMediaDir, "silent.mkv");
  EXPECT_NE(a.rc, 0);
  expectAllZero(a);
}

TEST_F(CorviTest, AudioOnlyFileAnswersOnlyTheAudioQuery) {
  writeWav(dir_ + "tone.wav", 22050, 2, 16, 5.75);
  VideoOut v = queryVideo(dir_, "tone.wav");
  EXPECT_NE(v.rc, 0);
  expectAllZero(v);

  AudioOut a = queryAudio(dir_, "tone.wav");
  ASSERT_EQ(a.rc, 0);
  EXPECT_EQ(a.duration, 5);
  EXPECT_EQ(a.sampleRate, 22050);
  EXPECT_EQ(a.channels, 2);
  EXPECT_EQ(a.bitsPerSample, 16);
  EXPECT_EQ(a.audioStreams, 1);
  EXPECT_EQ(a.bitRate, 22050 * 2 * 16);
  EXPECT_STREQ(a.codec, "pcm_s16le");
}

TEST_F(CorviTest, CoverArtAloneIsNoVideo) {
  EXPECT_NE(queryVideo(kMediaDir, "song.mp3").rc, 0);
  AudioOut a = queryAudio(kMediaDir, "song.mp3");
  ASSERT_EQ(a.rc, 0);
  EXPECT_EQ(a.duration, 2);
  EXPECT_STREQ(a.codec, "mp3");
  EXPECT_EQ(a.bitRate, 8000);  // the sound's, not the file's with the picture
  EXPECT_EQ(a.year, 2019);
  EXPECT_EQ(a.track, 3);
  EXPECT_EQ(a.disc, 2);
}

TEST_F(CorviTest, NonMediaFilesFailBothQueriesWithZeroResults) {
  kyto::test::writeFile(dir_ + "notes.txt", "hello world\nthis is text\n");
  kyto::test::writeFile(dir_ + "readme.nfo", "hello world\nthis is text\n");
  kyto::test::writeFile(dir_ + "empty.wav", "");
  kyto::test::makeDirs(dir_ + "sub.wav");
  const std::vector<std::pair<std::string, std::string>> cases =
      {
          {dir_, "missing.mp4"},       {dir_, "notes.txt"}, {dir_, "readme.nfo"},
          {dir_, "empty.wav"},         {dir_, "sub.wav"},   {dir_, ""},
          {root_.path(), "notes.txt"},  // no '/' between: another name
      };
  for (const auto& [dir, file] : cases) {
    SCOPED_TRACE(dir + file);
    VideoOut v = queryVideo(dir, file);
    EXPECT_NE(v.rc, 0);
    expectAllZero(v);
    AudioOut a = queryAudio(dir, file);
    EXPECT_NE(a.rc, 0);
    expectAllZero(a);
  }
}

TEST_F(CorviTest, HundredHoursFromASparseWav) {
  const uint32_t rate = 8000, seconds = 100 * 3600;
  std::string path = dir_ + "long.wav";
  kyto::test::writeFile(path, wavHeader(rate, 1, 8, rate * seconds));
  ASSERT_EQ(truncate(path.c_str(), 44 + static_cast<off_t>(rate) * seconds), 0);
  AudioOut a = queryAudio(dir_, "long.wav");
  ASSERT_EQ(a.rc, 0);
  EXPECT_EQ(a.duration, 360000);
}

TEST_F(CorviTest, PathsThatDoNotFitOrAreMissingAreRefused) {
  writeWav(dir_ + "tone.wav", 8000, 1, 8, 1);
  std::string longDir = dir_ + std::string(5000, 'd') + "/";
  EXPECT_NE(queryAudio(longDir, "tone.wav").rc, 0);
  EXPECT_NE(queryVideo(longDir, "tone.wav").rc, 0);
  int32_t duration = 77;
  EXPECT_NE(GetAudioMetadata(nullptr, "tone.wav", nullptr, nullptr, nullptr, nullptr, nullptr,
                             &duration, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(duration, 0);
  EXPECT_NE(GetAudioMetadata(dir_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  // A relative directory works like any other.
  char* previous = getcwd(nullptr, 0);
  ASSERT_NE(previous, nullptr);
  ASSERT_EQ(chdir(root_.path().c_str()), 0);
  EXPECT_EQ(queryAudio("./", "tone.wav").duration, 1);
  EXPECT_EQ(chdir(previous), 0);
  free(previous);
}

TEST_F(CorviTest, NullOutParametersAreSkipped) {
  writeWav(dir_ + "tone.wav", 8000, 1, 8, 2);
  EXPECT_EQ(GetAudioMetadata(dir_.c_str(), "tone.wav", nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_NE(GetVideoMetadata(dir_.c_str(), "tone.wav", nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(GetVideoMetadata(kMediaDir, "silent.mkv", nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            0);
}

TEST_F(CorviTest, InitAndUnInitAroundRepeatedQueries) {
  writeWav(dir_ + "tone.wav", 8000, 1, 8, 3);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(Corvi_Init(kyto::paths::kMediaLibraryDir), 0);
    EXPECT_EQ(queryAudio(dir_, "tone.wav").duration, 3);
    EXPECT_EQ(Corvi_UnInit(), 0);
  }
  EXPECT_EQ(queryAudio(dir_, "tone.wav").duration, 3);
}

// FFmpeg enters a process only when a query runs.
TEST_F(CorviTest, LibavformatIsLoadedByTheFirstQueryOnly) {
  writeWav(dir_ + "tone.wav", 8000, 1, 8, 4);
  ProgramResult r = kyto::test::runProgram({{KYTO_CORVI_PROBE, dir_, "tone.wav"}, {}, ""});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out,
            "before: absent\nafter init: absent\nvideo: 1\naudio: 0, 4 s\n"
            "after queries: loaded\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CorviTest, UnloadableLibraryFailsTheQueriesWithOneMessage) {
  writeWav(dir_ + "tone.wav", 8000, 1, 8, 4);
  // A file that is no shared object, found first under the name of the real library.
  std::string libDir = root_.path() + "/lib";
  kyto::test::writeFile(libDir + "/libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR),
                        "not a shared object\n");
  ProgramResult r = kyto::test::runProgram(
      {{KYTO_CORVI_PROBE, dir_, "tone.wav"}, {"LD_LIBRARY_PATH=" + libDir}, ""});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out,
            "before: absent\nafter init: absent\nvideo: 1\naudio: 1, 0 s\n"
            "after queries: absent\n");
  std::string prefix = "media metadata: cannot load libavformat.so." +
                       std::to_string(LIBAVFORMAT_VERSION_MAJOR) + ": ";
  EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

}  // namespace
