// kyto-dmscache runs in a private IPC namespace: a real segment of the key is neither seen nor
// disturbed, and the tests can run in parallel.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/dms_cache_layout.h"
#include "test_support.h"

namespace {

using kyto::test::ProgramResult;

// The unshare command line that gives a private IPC namespace here, or empty when none works.
std::vector<std::string> namespacePrefix() {
  const std::vector<std::vector<std::string>> candidates = {
      {"/usr/bin/unshare", "--ipc"},
      {"/usr/bin/unshare", "--user", "--map-root-user", "--ipc"},
  };
  if (access("/usr/bin/unshare", X_OK) != 0) return {};
  for (const auto& prefix : candidates) {
    std::vector<std::string> args = prefix;
    args.insert(args.end(), {"/bin/sh", "-c", "exec 2>/dev/null; exit 0"});
    if (kyto::test::runProgram({args, {}, ""}).exitStatus == 0) return prefix;
  }
  return {};
}

class DmsCacheTool : public ::testing::Test {
 protected:
  void SetUp() override {
    static const std::vector<std::string> prefix = namespacePrefix();
    if (prefix.empty()) GTEST_SKIP() << "no private IPC namespace can be made (unshare --ipc)";
    prefix_ = prefix;
  }

  // Runs a shell script in a fresh namespace; $DMS is the tool.
  ProgramResult run(const std::string& script, const std::string& input = "") {
    std::vector<std::string> args = prefix_;
    args.insert(args.end(), {"/bin/sh", "-c", script});
    return kyto::test::runProgram({args, {"DMS=" KYTO_DMSCACHE_TOOL}, input});
  }

  std::vector<std::string> prefix_;
};

const char kClients[] =
    "# slot ip mac\n"
    "0 192.168.1.10 00:11:22:AA:bb:cc type=2\n"
    "5 0.0.0.0 01:02:03:04:05:06 hidden\n"
    "6 10.0.0.1 ff:ff:ff:ff:ff:fe free\n"
    "63 10.0.0.63 00:00:00:00:00:3f type=-300 flags=0x81 inuse=0x0102030405060708\n";

TEST_F(DmsCacheTool, DumpShowsLiveSlotsOrAllWrittenOnes) {
  ProgramResult r =
      run("\"$DMS\" set - && \"$DMS\" dump && echo -- && \"$DMS\" dump --all", kClients);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out,
            "0 192.168.1.10 00:11:22:aa:bb:cc type=2 flags=0x00 inuse=1\n"
            "63 10.0.0.63 00:00:00:00:00:3f type=-300 flags=0x81 inuse=72623859790382856\n"
            "--\n"
            "0 192.168.1.10 00:11:22:aa:bb:cc type=2 flags=0x00 inuse=1\n"
            "5 0.0.0.0 01:02:03:04:05:06 type=-1 flags=0x08 inuse=1\n"
            "6 10.0.0.1 ff:ff:ff:ff:ff:fe type=-1 flags=0x00 inuse=0\n"
            "63 10.0.0.63 00:00:00:00:00:3f type=-300 flags=0x81 inuse=72623859790382856\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(DmsCacheTool, SegmentBytesFollowTheDaemonsLayout) {
  ProgramResult r = run("\"$DMS\" set - && \"$DMS\" raw", kClients);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_EQ(r.out.size(), kyto::dmscache::kSegmentSize);
  auto bytes = [&](size_t offset, size_t n) { return r.out.substr(offset, n); };
  EXPECT_EQ(bytes(0, 4), "\xc0\xa8\x01\x0a");
  EXPECT_EQ(bytes(4, 6), std::string("\x00\x11\x22\xaa\xbb\xcc", 6));
  EXPECT_EQ(bytes(24, 8), std::string("\x01\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(bytes(32, 2), std::string("\x02\x00", 2));
  EXPECT_EQ(bytes(5 * 40 + 16, 1), "\x08");
  EXPECT_EQ(bytes(6 * 40 + 24, 8), std::string(8, '\0'));
  const size_t last = 63 * 40;
  EXPECT_EQ(bytes(last, 4), std::string("\x0a\x00\x00\x3f", 4));
  EXPECT_EQ(bytes(last + 16, 1), "\x81");
  EXPECT_EQ(bytes(last + 24, 8), "\x08\x07\x06\x05\x04\x03\x02\x01");
  EXPECT_EQ(bytes(last + 32, 2), "\xd4\xfe");  // -300, little-endian
  // The daemon's own bytes stay zero, and so does every unused slot and the tail.
  for (size_t slot : {0u, 5u, 6u, 63u}) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(bytes(slot * 40 + 10, 6), std::string(6, '\0'));
    EXPECT_EQ(bytes(slot * 40 + 17, 7), std::string(7, '\0'));
    EXPECT_EQ(bytes(slot * 40 + 34, 6), std::string(6, '\0'));
  }
  EXPECT_EQ(bytes(40, 4 * 40), std::string(4 * 40, '\0'));
  EXPECT_EQ(bytes(2560, 80), std::string(80, '\0'));
}

TEST_F(DmsCacheTool, SetKeepsOtherSlotsAndClearEmptiesAll) {
  kyto::test::TempDir dir;
  std::string file = dir / "slots";
  std::vector<std::string> args = prefix_;
  args.insert(args.end(),
              {"/bin/sh", "-c",
               "\"$DMS\" set - && printf '5 5.5.5.5 00:00:00:00:00:05\\n' >\"$0\" && \"$DMS\" set "
               "\"$0\" && \"$DMS\" dump && \"$DMS\" clear && echo cleared && \"$DMS\" dump --all "
               "&& \"$DMS\" raw | tr -d '\\000' | wc -c",
               file});
  ProgramResult r = kyto::test::runProgram({args, {"DMS=" KYTO_DMSCACHE_TOOL}, kClients});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out,
            "0 192.168.1.10 00:11:22:aa:bb:cc type=2 flags=0x00 inuse=1\n"
            "5 5.5.5.5 00:00:00:00:00:05 type=-1 flags=0x00 inuse=1\n"
            "63 10.0.0.63 00:00:00:00:00:3f type=-300 flags=0x81 inuse=72623859790382856\n"
            "cleared\n0\n");
}

TEST_F(DmsCacheTool, BadInputIsRefusedAndWritesNothing) {
  struct Case {
    std::string input;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"1 1.1.1.1 00:00:00:00:00:01\n64 1.2.3.4 00:11:22:33:44:55\n",
       "kyto-dmscache: -: line 2: bad slot number \"64\" (0 to 63)\n"},
      {"1 1.1.1.1 00:00:00:00:00:01\n2 1.2.3 00:11:22:33:44:55\n",
       "kyto-dmscache: -: line 2: bad IP address \"1.2.3\"\n"},
      {"1 1.1.1.1 00:00:00:00:00:01\n2 1.2.3.4 00:11:22:33:44\n",
       "kyto-dmscache: -: line 2: bad MAC address \"00:11:22:33:44\" (six two-digit hex fields "
       "joined by ':')\n"},
      {"1 1.1.1.1 00:00:00:00:00:01 type=40000\n",
       "kyto-dmscache: -: line 1: client type index \"40000\" out of range (-32768 to 32767)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    ProgramResult r =
        run("printf '0 9.9.9.9 00:00:00:00:00:09\\n' | \"$DMS\" set - || exit 9; \"$DMS\" set -; "
            "echo status=$?; \"$DMS\" dump",
            c.input);
    EXPECT_EQ(r.out, "status=1\n0 9.9.9.9 00:00:00:00:00:09 type=-1 flags=0x00 inuse=1\n");
    EXPECT_EQ(r.err, c.message);
  }
}

TEST_F(DmsCacheTool, TooSmallSegmentIsReportedNotUsed) {
  ProgramResult r = run(
      "\"$DMS\" create-small 100 || exit 9; echo '1 1.1.1.1 00:00:00:00:00:01' | \"$DMS\" set -;"
      " echo set=$?; \"$DMS\" dump; echo dump=$?; \"$DMS\" raw | wc -c;"
      " \"$DMS\" create-small 100; echo again=$?");
  EXPECT_EQ(r.out, "set=1\ndump=1\n100\nagain=1\n");
  EXPECT_EQ(r.err,
            "kyto-dmscache: cannot get the segment of key 7890: Invalid argument (needs 2640 "
            "bytes)\n"
            "kyto-dmscache: the segment has 100 bytes, fewer than 2640\n"
            "kyto-dmscache: cannot create the segment of key 7890: File exists (remove it "
            "first)\n");
}

TEST_F(DmsCacheTool, CreatesWithTheDaemonsModeAndRemoves) {
  ProgramResult r =
      run("\"$DMS\" clear && ipcs -m | grep -i '^0x00001ed2' | tr -s ' ' | cut -d' ' -f4,5 &&"
          " \"$DMS\" remove && \"$DMS\" remove && echo removed && \"$DMS\" dump; echo dump=$?");
  EXPECT_EQ(r.out, "666 2640\nremoved\ndump=1\n");
  EXPECT_EQ(r.err, "kyto-dmscache: no segment of key 7890: No such file or directory\n");
}

TEST_F(DmsCacheTool, UsageOnRequestOrOnBadCommand) {
  ProgramResult help = run("\"$DMS\" --help");
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("Slot lines: SLOT IP MAC [type=N]"), std::string::npos) << help.out;
  for (const char* bad :
       {"", "dump extra", "set", "frob", "create-small 0", "create-small 2640", "create-small x"}) {
    SCOPED_TRACE(bad);
    ProgramResult r = run(std::string("\"$DMS\" ") + bad);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
}

}  // namespace
