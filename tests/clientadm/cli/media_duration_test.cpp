// getDuration: the path split, the H:M:S text, the call sequence of the media library, and runs of
// clientadm on media written at test time.
#include "cli/media_duration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/appliance_paths.h"
#include "test_support.h"

namespace kyto::clientadm {
namespace {

using kyto::test::ProgramResult;

struct SplitCase {
  std::string path, directory, fileName;
};

TEST(MediaDuration, SplitsAtTheLastSlash) {
  const std::string longName(2000, 'n');
  const std::string dir1023 = "/" + std::string(1021, 'd') + "/";
  const std::vector<SplitCase> cases = {
      {"/share/Music/a.mp3", "/share/Music/", "a.mp3"},
      {"/a.mp3", "/", "a.mp3"},
      {"/share/Music/", "/share/Music/", ""},
      {"a.mp3", "./", "a.mp3"},
      {"", "./", ""},
      {"//x//y", "//x//", "y"},
      {"/d/" + longName, "/d/", longName.substr(0, 1023)},
      {dir1023 + "f", dir1023, "f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 40));
    MediaPath path;
    ASSERT_TRUE(splitMediaPath(c.path, path));
    EXPECT_EQ(path.directory, c.directory);
    EXPECT_EQ(path.fileName, c.fileName);
  }
  MediaPath path;
  EXPECT_FALSE(splitMediaPath("/" + std::string(1022, 'd') + "/f", path));  // 1024 bytes
}

TEST(MediaDuration, FormatsHoursMinutesSeconds) {
  const std::vector<std::pair<std::int32_t, std::string>> cases = {
      {0, "00:00:00\n"},
      {59, "00:00:59\n"},
      {60, "00:01:00\n"},
      {3725, "01:02:05\n"},
      {86399, "23:59:59\n"},
      {360000, "100:00:00\n"},
      {2147483647, "596523:14:07\n"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(formatDuration(seconds), text) << seconds;
}

// A fake media library that records the calls and the storage it is handed.
struct FakeLibrary {
  std::vector<std::string> calls;
  std::string initDir, dir, file;
  int videoResult = 1, audioResult = 1;
  std::int32_t videoSeconds = 0, audioSeconds = 0;
  std::vector<const void*> videoShared, audioShared;
  bool textsZeroed = false;
};
FakeLibrary fake;

bool allZero(const char* text, std::size_t size) {
  return std::all_of(text, text + size, [](char c) { return c == 0; });
}

int fakeInit(const char* dir) {
  fake.calls.push_back("init");
  fake.initDir = dir;
  return 0;
}
int fakeUnInit() {
  fake.calls.push_back("uninit");
  return 0;
}
int fakeVideo(const char* dir, const char* file, int32_t*, int32_t*, int32_t* bitRate, int32_t*,
              int32_t* sampleRate, int32_t* channels, int32_t* bits, int32_t* audioStreams,
              int32_t* duration, int32_t*, char* videoCodec, char* audioCodec, int32_t* year,
              int32_t*, int32_t*, int32_t*, int32_t* track, int32_t* disc, int32_t* subtitles,
              int32_t*, int32_t*, char*, char*, int64_t*) {
  fake.calls.push_back("video");
  fake.dir = dir;
  fake.file = file;
  fake.textsZeroed = allZero(videoCodec, CORVI_TEXT_SIZE) && allZero(audioCodec, CORVI_TEXT_SIZE);
  fake.videoShared = {bitRate, sampleRate, channels, bits,      audioStreams, duration,
                      year,    track,      disc,     subtitles, audioCodec};
  *duration = fake.videoSeconds;
  return fake.videoResult;
}
int fakeAudio(const char*, const char*, int32_t* bitRate, int32_t* sampleRate, int32_t* channels,
              int32_t* bits, int32_t* audioStreams, int32_t* duration, int32_t* year,
              int32_t* track, int32_t* disc, int32_t* subtitles, char* audioCodec) {
  fake.calls.push_back("audio");
  fake.audioShared = {bitRate, sampleRate, channels, bits,      audioStreams, duration,
                      year,    track,      disc,     subtitles, audioCodec};
  *duration = fake.audioSeconds;
  return fake.audioResult;
}

struct QueryCase {
  const char* name;
  int videoResult, audioResult;
  std::int32_t expected;
  std::vector<std::string> calls;
};

TEST(MediaDuration, AsksVideoThenAudioWithSharedStorage) {
  const MediaLibrary library{fakeInit, fakeUnInit, fakeVideo, fakeAudio};
  const std::vector<QueryCase> cases = {
      {"video answers", 0, 0, 11, {"init", "video", "uninit"}},
      {"audio answers", 1, 0, 22, {"init", "video", "audio", "uninit"}},
      {"both fail", -1, 2, 0, {"init", "video", "audio", "uninit"}},
  };
  MediaPath path;
  ASSERT_TRUE(splitMediaPath("/share/Music/a.mp3", path));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake = FakeLibrary{};
    fake.videoResult = c.videoResult;
    fake.audioResult = c.audioResult;
    fake.videoSeconds = 11;
    fake.audioSeconds = 22;
    EXPECT_EQ(queryDurationSeconds(library, path), c.expected);
    EXPECT_EQ(fake.calls, c.calls);
    EXPECT_EQ(fake.initDir, paths::appliancePaths().mediaLibraryDir);
    EXPECT_EQ(fake.dir, "/share/Music/");
    EXPECT_EQ(fake.file, "a.mp3");
    EXPECT_TRUE(fake.textsZeroed);
    if (c.videoResult != 0) {
      EXPECT_EQ(fake.audioShared, fake.videoShared);
    }
  }
}

// Writes a mono 8-bit PCM WAV file of the given length; the samples are a hole in a sparse file.
void writeWav(const std::string& path, std::uint32_t seconds) {
  constexpr std::uint32_t kRate = 8000;
  const std::uint32_t dataSize = seconds * kRate;
  auto le32 = [](std::uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  const std::string header = "RIFF" + le32(36 + dataSize) + "WAVEfmt " + le32(16) +
                             std::string("\x01\x00\x01\x00", 4) + le32(kRate) + le32(kRate) +
                             std::string("\x01\x00\x08\x00", 4) + "data" + le32(dataSize);
  kyto::test::writeFile(path, header);
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(header.size()) + dataSize), 0);
}

class GetDurationProgram : public ::testing::Test {
 protected:
  ProgramResult run(const std::string& script) {
    return kyto::test::runProgram(
        {{"/bin/sh", "-c", script}, {"CLIENTADM=" KYTO_CLIENTADM_PATH, "DIR=" + dir_.path()}, ""});
  }
  ProgramResult query(const std::string& path) {
    return kyto::test::runProgram(
        {{KYTO_CLIENTADM_PATH, "getDuration", "--filePath", path}, {}, ""});
  }
  kyto::test::TempDir dir_;
};

TEST_F(GetDurationProgram, PrintsTheDurationOfRealFiles) {
  writeWav(dir_ / "short.wav", 3725);
  writeWav(dir_ / "long.wav", 360000);
  kyto::test::writeFile(dir_ / "notes.txt", "not media at all\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir_ / "short.wav", "01:02:05\n"},
      {dir_ / "long.wav", "100:00:00\n"},
      {dir_ / "notes.txt", "00:00:00\n"},  // regular, but no media: no error
  };
  for (const auto& [path, out] : cases) {
    SCOPED_TRACE(path);
    ProgramResult r = query(path);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
  }
  // A bare file name is looked for in the current directory.
  ProgramResult r = run("cd \"$DIR\" && exec \"$CLIENTADM\" getDuration --filePath short.wav");
  EXPECT_EQ(r.out, "01:02:05\n");
}

// Nothing that can't be opened as a regular file is put to the library, and nothing blocks: a
// FIFO without a writer would hold a plain open for ever (timeout's status 124 then).
TEST_F(GetDurationProgram, RefusesWhatIsNoReadableRegularFile) {
  writeWav(dir_ / "locked.wav", 5);
  ASSERT_EQ(chmod((dir_ / "locked.wav").c_str(), 0), 0);
  ASSERT_EQ(mkfifo((dir_ / "fifo.wav").c_str(), 0600), 0);
  const std::string error = "Error, can't read --filePath: ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir_ / "missing.wav", "No such file or directory"},
      {dir_.path(), "Is a directory"},
      {dir_.path() + "/", "Is a directory"},
      {dir_ / "fifo.wav", "not a regular file"},
      {"/dev/null", "not a regular file"},
      {dir_ / "locked.wav", "Permission denied"},
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    if (reason == "Permission denied" && geteuid() == 0) {
      std::printf("skipped %s: root may read a file without permission bits\n", path.c_str());
      continue;
    }
    ProgramResult r = kyto::test::runProgram(
        {{"/usr/bin/timeout", "10", KYTO_CLIENTADM_PATH, "getDuration", "--filePath", path},
         {},
         ""});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, error + reason + ".\n");
    EXPECT_EQ(r.exitStatus, 1);
  }
}

// The demo's clip, whose name has a space in it.
TEST_F(GetDurationProgram, PrintsTheDurationOfAVideo) {
  ProgramResult r = query(KYTO_EXAMPLES_ROOT "/share/Multimedia/demo clip.mp4");
  EXPECT_EQ(r.out, "00:01:05\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitStatus, 0);
}

TEST_F(GetDurationProgram, RefusesBadCommandLines) {
  const std::string noOption = "Error, it should have --filePath parameter.\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, noOption},
      {{"--filepath", "/share/a.mp3"}, noOption},
      {{"/share/a.mp3"}, noOption},
      {{"--filePath"}, noOption},
      {{"--filePath", "/" + std::string(1023, 'd') + "/a.mp3"},
       "Error, the directory of --filePath is longer than 1023 bytes.\n"},
  };
  for (const auto& [words, err] : cases) {
    std::vector<std::string> args = {KYTO_CLIENTADM_PATH, "getDuration"};
    args.insert(args.end(), words.begin(), words.end());
    ProgramResult r = kyto::test::runProgram({args, {}, ""});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.exitStatus, 1);
  }
}

}  // namespace
}  // namespace kyto::clientadm
