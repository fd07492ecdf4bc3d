// The DMC agent's output: parsing its XML and the bounded read of its pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "list/agent_process.h"
#include "list/agent_search.h"
#include "list/list_pipeline.h"
#include "list_run.h"

namespace kyto::clientadm {
namespace {

using Clock = std::chrono::steady_clock;

struct ParseCase {
  const char* name;
  std::string text;
  int result;
  const char* listing;
  const char* warning = "";
  bool whole = true;  // false: an output that was cut
};

std::string utf16(const std::string& text) {
  std::string wide = "\xFF\xFE";
  for (const char c : text) wide += std::string{c, '\0'};
  return wide;
}

// Ten levels of ten references each: far more text than expat expands for so short an input.
std::string laughs() {
  std::string doctype = "<!DOCTYPE root [<!ENTITY l0 \"lol\">";
  for (int level = 1; level < 10; ++level) {
    doctype += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) doctype += "&l" + std::to_string(level - 1) + ";";
    doctype += "\">";
  }
  return doctype +
         "]><root><device><mac>m1</mac></device><device><deviceName>&l9;</deviceName>"
         "</device></root>";
}

TEST(DmcSearchCache, MergesEachDeviceOfTheRoot) {
  const std::vector<ParseCase> cases = {
      {"no root", "<devices><device><mac>m</mac></device></devices>", 1, ""},
      {"not xml", "halyard: cache not ready\n", 1, ""},
      {"root without device", "<root><other/></root>", 0, ""},
      {"full device, type ignored",
       "<root><device><deviceName>TV</deviceName><ip>10.0.0.2</ip><mac>02:AA:00:00:00:01</mac>"
       "<type>DMR</type></device><device><mac>m0</mac></device></root>",
       0, "0|02:aa:00:00:00:01|10.0.0.2|TV||-1||2\n0|m0||||-1||2\n"},
      {"a valid MAC in the listing's form, one device per address; others as printed",
       "<root><device><mac>00:1D:5A:10:22:01</mac><ip>10.0.0.1</ip></device>"
       "<device><mac>00:1d:5a:10:22:01</mac><deviceName>Den</deviceName></device>"
       "<device><mac>0:1:2:3:4:5</mac></device><device><mac>00:11:22:33:44</mac></device>"
       "<device><mac>00-11-22-33-44-55</mac></device><device><mac>00:11:22:33:44:5G</mac></device>"
       "<device><mac>00:11:22:33:44:55:66</mac></device><device><mac></mac></device></root>",
       0,
       "0|||||-1||2\n0|00-11-22-33-44-55||||-1||2\n0|00:01:02:03:04:05||||-1||2\n"
       "0|00:11:22:33:44||||-1||2\n0|00:11:22:33:44:55:66||||-1||2\n"
       "0|00:11:22:33:44:5G||||-1||2\n0|00:1d:5a:10:22:01|10.0.0.1|Den||-1||2\n"},
      {"missing and empty children, first child wins",
       "<root><device><ip></ip><deviceName>A</deviceName><deviceName>B</deviceName></device>"
       "<device><mac>m1</mac><mac>m2</mac></device></root>",
       0, "0|||A||-1||2\n0|m1||||-1||2\n"},
      {"root found below another element",
       "<?xml version=\"1.0\"?><reply><root><device><mac>m</mac></device></root></reply>", 0,
       "0|m||||-1||2\n"},
      {"cut text keeps the complete devices",
       "<root><device><mac>m1</mac></device><device><mac>m2</mac><ip>10.0", 0, "0|m1||||-1||2\n",
       "Warning: the agent's output is not well-formed XML (line 1: no element found); the devices "
       "before that point are listed\n"},
      {"an output that was cut ends anywhere without fault",
       "<root><device><mac>m1</mac></device><device><mac>m2</mac><ip>10.0", 0, "0|m1||||-1||2\n",
       "", false},
      {"a fault before the cut is said",
       "<root><device><mac>m1</mac></device><device a=\"" + std::string(1, '\0') +
           "\"><mac>m2</mac></device><device><mac>m3",
       0, "0|m1||||-1||2\n",
       "Warning: the agent's output is not well-formed XML (line 1: not well-formed (invalid "
       "token)); the devices before that point are listed\n",
       false},
      {"a NUL byte in an attribute",
       "<root><device><mac>m1</mac></device><device a=\"" + std::string(1, '\0') +
           "\"><mac>m2</mac></device></root>",
       0, "0|m1||||-1||2\n",
       "Warning: the agent's output is not well-formed XML (line 1: not well-formed (invalid "
       "token)); the devices before that point are listed\n"},
      {"UTF-16 cut in the middle of a character",
       utf16("<root><device><mac>m1</mac></device><device><mac>m2</mac></device></root>")
           .substr(0, 137),
       0, "0|m1||||-1||2\n0|m2||||-1||2\n",
       "Warning: the agent's output is not well-formed XML (line 1: unclosed token); the "
       "devices before that point are listed\n"},
      {"entities that expand too far are no fault of the XML", laughs(), 0, "0|m1||||-1||2\n",
       "Warning: the agent's output could not be read to its end (its entities expand beyond the "
       "bounds the tools read within); the devices before that point are listed\n"},
      {"an encoding this machine can't convert, before the root",
       "<?xml version=\"1.0\" encoding=\"X-NONE\"?><root><device><mac>m1</mac></device></root>", 1,
       "",
       "Warning: the agent's output could not be read to its end (in the encoding \"X-NONE\", "
       "which "
       "this machine can't convert); the devices before that point are listed\n"},
      {"an entity",
       "<!DOCTYPE root [<!ENTITY tv \"Living Room\">]><root><device><deviceName>&tv;"
       "</deviceName></device></root>",
       0, "0|||Living Room||-1||2\n"},
      {"markup ends a text: white space alone is none, a CDATA section always one",
       "<root><device><deviceName> <?pi x?> Den<!--c-->Hall</deviceName><mac> <![CDATA[<m>]]>"
       "</mac><ip><![CDATA[]]>10.0.0.3</ip></device></root>",
       0, "0|<m>|| Den||-1||2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ListRun run;
    const SourceReport report = mergeAgentDevices(c.text, run.context, c.whole);
    EXPECT_EQ(report.status, c.result);
    EXPECT_EQ(report.warning, c.warning);
    EXPECT_EQ(run.listing(), c.listing);
  }
}

TEST(DmcSearchCache, DevicesCarryTheAnonymousDenyFlag) {
  test::ListRun run(1);
  mergeAgentDevices("<root><device><mac>m</mac></device></root>", run.context);
  EXPECT_EQ(run.listing(), "1|m||||-1||2\n");
}

// A pipe whose write end the test holds, so that the reader sees no end of file until it closes.
class AgentPipe : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pipe2(fds_, O_CLOEXEC), 0); }
  void TearDown() override {
    close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  void write(const std::string& text) {
    ASSERT_EQ(::write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void closeWriter() {
    close(fds_[1]);
    fds_[1] = -1;
  }
  AgentOutput read(std::chrono::milliseconds wait, std::size_t cap) {
    return readAgentOutput(fds_[0], Clock::now() + wait, cap);
  }
  int fds_[2] = {-1, -1};
};

TEST_F(AgentPipe, ReadsEverythingUntilEndOfFile) {
  const std::string text(200000, 'x');  // more than one chunk and more than the pipe holds
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    close(fds_[0]);
    ssize_t n = ::write(fds_[1], text.data(), text.size());
    _exit(n == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  closeWriter();
  const AgentOutput output = read(std::chrono::seconds(30), kAgentOutputCap);
  EXPECT_EQ(output.text, text);
  EXPECT_EQ(output.cut, OutputCut::None);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
}

TEST_F(AgentPipe, StopsAtTheCap) {
  write("0123456789");
  const AgentOutput output = read(std::chrono::seconds(30), 4);
  EXPECT_EQ(output.text, "0123");
  EXPECT_EQ(output.cut, OutputCut::AtSizeCap);
}

TEST_F(AgentPipe, DeadlineEndsTheReadOfASilentWriter) {
  write("<root>");  // the writer stays open and silent
  const auto start = Clock::now();
  const AgentOutput output = read(std::chrono::milliseconds(200), kAgentOutputCap);
  EXPECT_EQ(output.text, "<root>");
  EXPECT_EQ(output.cut, OutputCut::AtTimeLimit);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(read(std::chrono::milliseconds(0), kAgentOutputCap).text, "");
}

// The writer has exited while another process (here the test) holds the pipe open, as a child
// the agent left behind would: the read ends with what the writer wrote, long before its
// deadline.
TEST_F(AgentPipe, EndsOnceTheWriterHasExitedThoughThePipeStaysOpen) {
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    _exit(::write(fds_[1], "<root/>", 7) == 7 ? 0 : 1);
  }
  const AgentOutput output =
      readAgentOutput(fds_[0], Clock::now() + std::chrono::hours(1), kAgentOutputCap, writer);
  EXPECT_EQ(output.text, "<root/>");
  EXPECT_EQ(output.cut, OutputCut::None);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
}

}  // namespace
}  // namespace kyto::clientadm
