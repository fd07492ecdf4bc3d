// clientadm list end to end with all three sources: the stored list, the client cache segment
// (written by kyto-dmscache) and a test agent. Each run gets its own IPC namespace, so that no
// real segment is seen or disturbed and the tests can run in parallel.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "staged_root.h"

namespace {

using kyto::test::ProgramResult;
using kyto::test::readFile;
using kyto::test::writeFile;

const std::string kPreferredAgent = "/mnt/ext/opt/VELD/bin/halyard";
const std::string kFallbackAgent = "/usr/bin/halyard";

// Records its program name and arguments, then prints $KYTO_ROOT/agent.out if there is one.
const std::string kRecordingAgent =
    "#!/bin/sh\n"
    "printf '%s\\n' \"$0\" \"$@\" > \"$KYTO_ROOT/agent.args\"\n"
    "[ -f \"$KYTO_ROOT/agent.out\" ] && cat \"$KYTO_ROOT/agent.out\"\n"
    "exit 0\n";

class LiveSources : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool canUnshare =
        kyto::test::runProgram({{"/usr/bin/unshare", "--ipc", "/bin/true"}, {}, ""}).exitStatus ==
        0;
    if (!canUnshare) GTEST_SKIP() << "no private IPC namespace: `unshare --ipc true` failed";
    root_.makeConfigDir();
  }

  // Writes an executable agent below the root.
  void installAgent(const std::string& path, const std::string& script) {
    writeFile(root_ / path.substr(1), script);
    ASSERT_EQ(chmod((root_ / path.substr(1)).c_str(), 0755), 0);
  }
  void setAgentOutput(const std::string& xml) { writeFile(root_ / "agent.out", xml); }
  std::string agentArgs() { return readFile(root_ / "agent.args"); }

  // Fills the client cache from slot lines, then runs clientadm with the arguments, in one fresh
  // IPC namespace.
  ProgramResult run(const std::string& slots, const std::string& arguments = "list",
                    std::vector<std::string> env = {}) {
    env.insert(env.end(), {"DMS=" KYTO_DMSCACHE_TOOL, "CLIENTADM=" KYTO_CLIENTADM_PATH});
    return root_.run({"/usr/bin/unshare", "--ipc", "/bin/sh", "-c",
                      "\"$DMS\" set - && exec \"$CLIENTADM\" " + arguments},
                     env, slots);
  }

  kyto::test::StagedRoot root_;
};

TEST_F(LiveSources, FirstSourceOwnsTheRecordLaterOnesRefreshIpAndName) {
  writeFile(root_ / "etc/config/KytoMediaSvr.conf", "deny_anonymous = 1\n");
  // The custom types register in stored order after the default type: indexes 1 and 2.
  writeFile(root_ / "etc/config/kytomediasvr/clients.xml",
            "<UPNP_CLIENTS>\n"
            "<CLIENT MAC=\"02:1a:2b:3c:4d:5e\" IP=\"192.168.1.2\" USER_PROFILE=\"3\" "
            "USER=\"media\" CLIENT_TYPE=\"CUST0123456789ab\" DENY=\"0\"/>\n"
            "<CLIENT MAC=\"00:00:00:00:00:0b\" IP=\"10.1.1.1\" CLIENT_TYPE=\"CUSTffffffffffff\"/>\n"
            "</UPNP_CLIENTS>\n");
  const std::string slots =
      "0 192.168.1.20 02:1a:2b:3c:4d:5e type=0\n"  // stored: only the IP changes
      "1 192.168.1.21 02:1a:2b:3c:4d:5f type=1\n"  // named by index: a stored custom type
      "2 0.0.0.0 00:00:00:00:00:0b\n"              // 0.0.0.0 is no address: the stored IP stays
      "3 192.168.1.23 02:1a:2b:3c:4d:63 type=2\n"
      "4 192.168.1.24 02:1a:2b:3c:4d:64 type=3\n"  // one past the registry's end
      "5 192.168.1.25 02:1a:2b:3c:4d:65 hidden\n"
      "6 192.168.1.26 02:1a:2b:3c:4d:66 free\n"
      "7 10.0.0.7 02:1a:2b:3c:4d:5f type=0\n"  // second slot of a MAC: IP only
      "63 192.168.1.29 02:1a:2b:3c:4d:69 type=0\n";
  installAgent(kPreferredAgent, kRecordingAgent);
  setAgentOutput(
      "<root>"
      "<device><deviceName>Hall TV</deviceName><ip>192.168.1.99</ip>"
      "<mac>02:1a:2b:3c:4d:5f</mac></device>"
      "<device><deviceName>Upper</deviceName><ip>192.168.1.98</ip>"
      "<mac>02:1A:2B:3C:4D:5E</mac></device>"  // the stored client's address in upper case
      "<device><deviceName>Den TV</deviceName><ip></ip><mac>02:1a:2b:3c:4d:5e</mac></device>"
      "<device><deviceName>Radio</deviceName><ip>192.168.1.70</ip><mac>02:1a:2b:3c:4d:70</mac>"
      "<type>DMR</type></device>"
      "<device><deviceName>No MAC</deviceName></device>"
      "</root>");
  ProgramResult r = run(slots);
  EXPECT_EQ(r.out,
            "0|00:00:00:00:00:0b|10.1.1.1||CUSTffffffffffff|-1||0\n"
            "0|02:1a:2b:3c:4d:5e|192.168.1.98|Den TV|CUST0123456789ab|3|media|0\n"
            "1|02:1a:2b:3c:4d:5f|192.168.1.99|Hall TV|CUST0123456789ab|-1||1\n"
            "1|02:1a:2b:3c:4d:63|192.168.1.23||CUSTffffffffffff|-1||1\n"
            "1|02:1a:2b:3c:4d:64|192.168.1.24|||-1||1\n"
            "1|02:1a:2b:3c:4d:69|192.168.1.29||StandardDLNA150|-1||1\n"
            "1|||No MAC||-1||2\n"
            "1|02:1a:2b:3c:4d:70|192.168.1.70|Radio||-1||2\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitStatus, 0);
}

struct AgentPathCase {
  const char* name;
  bool preferred;      // a recording agent at the preferred path
  bool preferredExec;  // ... with execute permission
  bool fallback;       // a recording agent at the fallback path
  std::string startedPath;
};

TEST_F(LiveSources, AgentIsStartedWithExactlyMinusCList) {
  const std::vector<AgentPathCase> cases = {
      {"preferred", true, true, true, kPreferredAgent},
      {"preferred not executable", true, false, true, kFallbackAgent},
      {"fallback only", false, false, true, kFallbackAgent},
  };
  setAgentOutput("<root><device><ip>10.0.0.1</ip><mac>m</mac></device></root>");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& path : {kPreferredAgent, kFallbackAgent, std::string("/agent.args")})
      unlink((root_ / path.substr(1)).c_str());
    if (c.preferred) installAgent(kPreferredAgent, kRecordingAgent);
    if (c.preferred && !c.preferredExec) {
      ASSERT_EQ(chmod((root_ / kPreferredAgent.substr(1)).c_str(), 0644), 0);
    }
    if (c.fallback) installAgent(kFallbackAgent, kRecordingAgent);
    ProgramResult r = run("");
    EXPECT_EQ(r.out, "0|m|10.0.0.1|||-1||2\n");
    EXPECT_EQ(agentArgs(), root_.path() + c.startedPath + "\n-c\nlist\n");
  }
}

// A device line of the agent and the listing line it gives.
std::string deviceXml(int i) {
  char mac[18];
  std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", i / 256, i % 256);
  return std::string("<device><deviceName>Device ") + std::to_string(i) +
         "</deviceName><ip>10.0.0.1</ip><mac>" + mac + "</mac></device>\n";
}
std::string deviceLine(int i) {
  char mac[18];
  std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", i / 256, i % 256);
  return std::string("0|") + mac + "|10.0.0.1|Device " + std::to_string(i) + "||-1||2\n";
}

struct AgentCase {
  const char* name;
  const char* script;  // none: no agent at all
  std::string expected;
  std::string err = "";
};

TEST_F(LiveSources, AgentOutputAndBehaviour) {
  const std::string one = "<root>" + deviceXml(1) + "</root>";
  std::string thousand = "<root>\n";
  std::string thousandLines;
  for (int i = 0; i < 1000; ++i) thousand += deviceXml(i), thousandLines += deviceLine(i);
  thousand += "</root>\n";
  ASSERT_GT(thousand.size(), 8191u * 8);
  writeFile(root_ / "device.xml", deviceXml(1));
  writeFile(root_ / "one.xml", one);
  writeFile(root_ / "thousand.xml", thousand);
  writeFile(
      root_ / "forged.xml",
      "<root><device><mac>02:00:00:00:00:01</mac><deviceName>Evil|0|x&#10;0|de:ad:be:ef:00:01|"
      "6.6.6.6|Admin PC||0|admin|0</deviceName></device></root>");

  const std::vector<AgentCase> cases = {
      {"no agent", nullptr, ""},
      {"empty output", "#!/bin/sh\nexit 0\n", ""},
      {"no root", "#!/bin/sh\necho '<devices>'; cat \"$KYTO_ROOT/device.xml\"; echo '</devices>'\n",
       ""},
      {"root without devices", "#!/bin/sh\necho '<root><type>DMR</type></root>'\n", ""},
      {"1000 devices", "#!/bin/sh\ncat \"$KYTO_ROOT/thousand.xml\"\n", thousandLines},
      {"exits early with a failure", "#!/bin/sh\ncat \"$KYTO_ROOT/one.xml\"\nexit 3\n",
       deviceLine(1)},
      {"killed in the middle of its output",
       "#!/bin/sh\nprintf '<root>%s<device><mac>02:00' \"$(cat \"$KYTO_ROOT/device.xml\")\"\n"
       "kill -9 $$\n",
       deviceLine(1),
       "Warning: the agent's output is not well-formed XML (line 1: no element found); the "
       "devices before that point are listed\n"},
      {"closes its output then lingers",
       "#!/bin/sh\ncat \"$KYTO_ROOT/one.xml\"\nexec >&-\nsleep 1\n", deviceLine(1)},
      {"lingers with its output open", "#!/bin/sh\ncat \"$KYTO_ROOT/one.xml\"\nsleep 1\n",
       deviceLine(1)},
      {"a device name that forges a stored client", "#!/bin/sh\ncat \"$KYTO_ROOT/forged.xml\"\n",
       "0|02:00:00:00:00:01||Evil?0?x?0?de:ad:be:ef:00:01?6.6.6.6?Admin PC??0?admin?0||-1||2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink((root_ / kFallbackAgent.substr(1)).c_str());
    if (c.script != nullptr) installAgent(kFallbackAgent, c.script);
    ProgramResult r = run("");
    EXPECT_EQ(r.out, c.expected);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.exitStatus, 0);
  }
}

// Reads a JSON listing, checks each object's keys and their order, and prints each record's
// values as one ASCII JSON array: types, exact texts and order can then be compared as text.
constexpr char kJsonRecordsScript[] =
    "import json, sys\n"
    "keys = ['deny', 'mac', 'ip', 'deviceName', 'clientType', 'user', 'profileId', 'comeFrom',"
    " 'source']\n"
    "for record in json.load(sys.stdin):\n"
    "    assert list(record) == keys, list(record)\n"
    "    print(json.dumps(list(record.values())))\n";

TEST_F(LiveSources, JsonListingKeepsHostileTextsExactAndTheTextListingsOrder) {
  writeFile(root_ / "etc/config/KytoMediaSvr.conf", "deny_anonymous = 1\n");
  // The custom type, 16 characters with a quote, a '|', a backslash and a newline, registers at
  // index 1, which the cache slot names.
  writeFile(root_ / "etc/config/kytomediasvr/clients.xml",
            "<UPNP_CLIENTS>\n"
            "<CLIENT MAC=\"02:00:00:00:00:01\" IP=\"10.0.0.1|0&#10;x\" USER=\"a&quot;b\\c&#9;d\" "
            "USER_PROFILE=\"3\" CLIENT_TYPE=\"CUST&quot;|\\&#10;01234567\" DENY=\"1\"/>\n"
            "<CLIENT MAC=\"02:00:00:00:00:02\"/>\n"
            "</UPNP_CLIENTS>\n");
  installAgent(kFallbackAgent, "#!/bin/sh\ncat \"$KYTO_ROOT/agent.out\"\n");
  setAgentOutput(
      "<root><device><deviceName>K\xc3\xbc"
      "che \"TV\" \\ |1|&#10;x\x7f</deviceName>"
      "<ip>10.0.0.9</ip><mac>02:00:00:00:00:04</mac></device>"
      // Bytes that are no UTF-8 end what the output says: the devices before them are listed.
      "<device><deviceName>bad\xff(\xc3(end</deviceName><mac>02:00:00:00:00:05</mac></device>"
      "</root>");
  const std::string badBytes =
      "Warning: the agent's output is not well-formed XML (line 1: not well-formed (invalid "
      "token)); the devices before that point are listed\n";
  const std::string slots = "0 192.168.1.5 02:00:00:00:00:03 type=1\n";

  const ProgramResult text = run(slots);
  EXPECT_EQ(text.out,
            "1|02:00:00:00:00:01|10.0.0.1?0?x||CUST\"?\\?01234567|3|a\"b\\c?d|0\n"
            "0|02:00:00:00:00:02||||-1||0\n"
            "1|02:00:00:00:00:03|192.168.1.5||CUST\"?\\?01234567|-1||1\n"
            "1|02:00:00:00:00:04|10.0.0.9|K\xc3\xbc"
            "che \"TV\" \\ ?1??x?||-1||2\n");
  EXPECT_EQ(text.err, badBytes);
  const ProgramResult json = run(slots, "list --json");
  EXPECT_EQ(json.err, badBytes);
  EXPECT_EQ(json.exitStatus, 0);

  // The same records in the same order, every text exact.
  const std::string expected[] = {
      R"([true, "02:00:00:00:00:01", "10.0.0.1|0\nx", "", "CUST\"|\\\n01234567", "a\"b\\c\td", )"
      R"(3, 0, "userSettings"])",
      R"([false, "02:00:00:00:00:02", "", "", "", "", null, 0, "userSettings"])",
      R"([true, "02:00:00:00:00:03", "192.168.1.5", "", "CUST\"|\\\n01234567", "", null, 1, )"
      R"("clientCache"])",
      R"([true, "02:00:00:00:00:04", "10.0.0.9", "K\u00fcche \"TV\" \\ |1|\nx\u007f", "", "", )"
      R"(null, 2, "searchCache"])",
  };
  std::string expectedLines;
  for (const std::string& line : expected) expectedLines += line + "\n";
  const ProgramResult parsed =
      kyto::test::runProgram({{KYTO_PYTHON3, "-c", kJsonRecordsScript}, {}, json.out});
  EXPECT_EQ(parsed.out, expectedLines);
  EXPECT_EQ(parsed.err, "");
  EXPECT_EQ(parsed.exitStatus, 0);
}

TEST_F(LiveSources, ListLoadsNeitherFfmpegNorLibxml2ButGetDurationLoadsFfmpeg) {
  installAgent(kPreferredAgent, kRecordingAgent);
  ProgramResult list = run("", "list", {"LD_DEBUG=libs"});
  ASSERT_EQ(list.exitStatus, 0);
  EXPECT_NE(list.err.find("libkytocorvi"), std::string::npos) << "LD_DEBUG gave no library trace";
  EXPECT_EQ(list.err.find("libavformat"), std::string::npos);
  EXPECT_EQ(list.err.find("libxml2"), std::string::npos);  // only treeshaper reads with it

  // The same trace shows the library once a query needs it.
  writeFile(root_ / "a.txt", "not media\n");
  ProgramResult query = run("", "getDuration --filePath \"$KYTO_ROOT/a.txt\"", {"LD_DEBUG=libs"});
  ASSERT_EQ(query.exitStatus, 0);
  EXPECT_NE(query.err.find("libavformat"), std::string::npos);
}

}  // namespace
