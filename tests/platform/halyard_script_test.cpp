#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/appliance_paths.h"
#include "common/brix_process.h"
#include "test_support.h"

namespace {

using kyto::test::ProgramResult;
using kyto::test::runProgram;

size_t count(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t pos = text.find(word); pos != std::string::npos; pos = text.find(word, pos + 1)) ++n;
  return n;
}

ProgramResult runAgent(std::vector<std::string> args, std::vector<std::string> env = {}) {
  args.insert(args.begin(), KYTO_HALYARD_SAMPLE);
  return runProgram({args, env, ""});
}

TEST(HalyardSample, ListsThreeBuiltInDevices) {
  ASSERT_EQ(access(KYTO_HALYARD_SAMPLE, X_OK), 0) << KYTO_HALYARD_SAMPLE;
  const ProgramResult runs[] = {
      runProgram({{"/usr/bin/env", "-u", "HALYARD_DEVICES_FILE", KYTO_HALYARD_SAMPLE, "-c", "list"},
                  {},
                  ""}),
      runAgent({"-c", "list"}, {"HALYARD_DEVICES_FILE="}),
  };
  for (const ProgramResult& r : runs) {
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("<root>\n", 0), 0u) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 8), "</root>\n");
    for (const char* tag : {"<device>", "</device>", "<deviceName>", "<ip>", "<mac>", "<type>"})
      EXPECT_EQ(count(r.out, tag), 3u) << tag;
    EXPECT_NE(r.out.find("<mac>00:1a:2b:3c:4d:03</mac>"), std::string::npos);
  }
}

TEST(HalyardSample, PrintsTheDevicesFileUnchanged) {
  kyto::test::TempDir dir;
  std::string devices = "<root>";
  for (int i = 0; i < 1000; ++i)
    devices += "<device><deviceName>d" + std::to_string(i) + "</deviceName><ip>10.0.0.1</ip>" +
               "<mac>00:00:00:00:00:01</mac><type>DMR</type></device>";
  devices += "</root>";  // no final newline: the file is passed through as it is
  kyto::test::writeFile(dir / "devices.xml", devices);
  ProgramResult r = runAgent({"-c", "list"}, {"HALYARD_DEVICES_FILE=" + (dir / "devices.xml")});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, devices);

  ProgramResult missing = runAgent({"-c", "list"}, {"HALYARD_DEVICES_FILE=" + (dir / "none")});
  EXPECT_NE(missing.exitStatus, 0);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("none"), std::string::npos) << missing.err;
}

// The demo's hostile device joins the sample's three; a file that can't be read prints nothing.
TEST(HalyardSample, AddsTheExtraDevicesFileAfterItsOwn) {
  kyto::test::TempDir dir;
  const std::string extra = "<device><deviceName>Added</deviceName></device>\n";
  kyto::test::writeFile(dir / "extra.xml", extra);
  const std::string own = runAgent({"-c", "list"}).out;
  ASSERT_GT(own.size(), 8u);
  ProgramResult r = runAgent({"-c", "list"}, {"HALYARD_EXTRA_DEVICES_FILE=" + (dir / "extra.xml")});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, own.substr(0, own.size() - 8) + extra + "</root>\n");

  ProgramResult missing =
      runAgent({"-c", "list"}, {"HALYARD_EXTRA_DEVICES_FILE=" + (dir / "none")});
  EXPECT_NE(missing.exitStatus, 0);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("none"), std::string::npos) << missing.err;
}

TEST(HalyardSample, OtherArgumentsGiveUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"-c"}, {"list"}, {"list", "-c"}, {"-c", "LIST"}, {"-c", "list", "x"}, {"-c list"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    ProgramResult r = runAgent(args);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "usage: halyard -c list\n");
  }
}

// As clientadm starts it: a copy under the staging root, in both calling forms.
TEST(HalyardSample, RunsFromTheApplianceLocationsThroughBrix) {
  kyto::test::TempDir root;
  std::string preferred = root.path() + kyto::paths::kHalyardAgent;
  std::string fallback = root.path() + kyto::paths::kHalyardFallback;
  for (const auto& target : {preferred, fallback}) {
    kyto::test::makeDirs(std::filesystem::path(target).parent_path().string());
    std::filesystem::copy_file(KYTO_HALYARD_SAMPLE, target);
  }
  std::string commandLine = fallback + " -c list";
  FILE* streams[] = {brix_popen("r", preferred.c_str(), "-c", "list", (char*)nullptr),
                     brix_popen("r", commandLine.c_str(), (char*)nullptr)};
  for (FILE* stream : streams) {
    ASSERT_NE(stream, nullptr);
    std::string out;
    char buffer[1024];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, stream)) > 0) out.append(buffer, n);
    EXPECT_EQ(brix_pclose(stream), 0);
    EXPECT_EQ(count(out, "<device>"), 3u);
  }
}

}  // namespace
