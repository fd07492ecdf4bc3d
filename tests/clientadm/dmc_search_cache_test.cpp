// The DMC agent's output: parsing its XML and the bounded read of its pipe.
#include "dmc_search_cache.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent_output.h"
#include "server_settings.h"
#include "source_reports.h"

namespace kyto::clientadm {
namespace {

using test::SinkCall;
using Clock = std::chrono::steady_clock;

SinkCall agentCall(const char* mac, const char* ip, const char* name) {
  return {mac, ip, name, "-", -1, "-", FromDmcSearchCache, denyAnonymous};
}

struct ParseCase {
  const char* name;
  const char* text;
  int result;
  std::vector<SinkCall> calls;
};

TEST(DmcSearchCache, MergesEachDeviceOfTheRoot) {
  const std::vector<ParseCase> cases = {
      {"no root", "<devices><device><mac>m</mac></device></devices>", 1, {}},
      {"not xml", "halyard: cache not ready\n", 1, {}},
      {"root without device", "<root><other/></root>", 0, {}},
      {"full device, type ignored, document order",
       "<root><device><deviceName>TV</deviceName><ip>10.0.0.2</ip><mac>02:AA:00:00:00:01</mac>"
       "<type>DMR</type></device><device><mac>m0</mac></device></root>",
       0,
       {agentCall("02:AA:00:00:00:01", "10.0.0.2", "TV"), agentCall("m0", "-", "-")}},
      {"missing and empty children, first child wins",
       "<root><device><ip></ip><deviceName>A</deviceName><deviceName>B</deviceName></device>"
       "<device><mac>m1</mac><mac>m2</mac></device></root>",
       0,
       {agentCall("-", "-", "A"), agentCall("m1", "-", "-")}},
      {"root found below another element",
       "<?xml version=\"1.0\"?><reply><root><device><mac>m</mac></device></root></reply>",
       0,
       {agentCall("m", "-", "-")}},
      {"cut text keeps the complete devices",
       "<root><device><mac>m1</mac></device><device><mac>m2</mac><ip>10.0",
       0,
       {agentCall("m1", "-", "-"), agentCall("m2", "10.0", "-")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::clearReports();
    EXPECT_EQ(mergeAgentDevices(c.text, test::recordReport), c.result);
    EXPECT_EQ(test::reports(), c.calls);
  }
}

TEST(DmcSearchCache, DevicesCarryTheAnonymousDenyFlag) {
  const std::int32_t saved = denyAnonymous;
  denyAnonymous = 1;
  test::clearReports();
  mergeAgentDevices("<root><device><mac>m</mac></device></root>", test::recordReport);
  denyAnonymous = saved;
  ASSERT_EQ(test::reports().size(), 1u);
  EXPECT_EQ(test::reports()[0].deny, 1);
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
  std::string read(std::chrono::milliseconds wait, std::size_t cap) {
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
  EXPECT_EQ(read(std::chrono::seconds(30), kAgentOutputCap), text);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
}

TEST_F(AgentPipe, StopsAtTheCap) {
  write("0123456789");
  EXPECT_EQ(read(std::chrono::seconds(30), 4), "0123");
}

TEST_F(AgentPipe, DeadlineEndsTheReadOfASilentWriter) {
  write("<root>");  // the writer stays open and silent
  const auto start = Clock::now();
  EXPECT_EQ(read(std::chrono::milliseconds(200), kAgentOutputCap), "<root>");
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(read(std::chrono::milliseconds(0), kAgentOutputCap), "");
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
  EXPECT_EQ(readAgentOutput(fds_[0], Clock::now() + std::chrono::hours(1), kAgentOutputCap, writer),
            "<root/>");
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
}

}  // namespace
}  // namespace kyto::clientadm
