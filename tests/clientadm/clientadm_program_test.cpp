// Runs the built clientadm against private roots and compares its output byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "staged_root.h"

namespace {

using kyto::test::ProgramResult;
using kyto::test::readFile;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

const std::string kProgram = KYTO_CLIENTADM_PATH;
const std::string kGoldenDir = KYTO_CLIENTADM_GOLDEN_DIR;
const std::string kDataDir = std::string(KYTO_CLIENTADM_GOLDEN_DIR) + "/../data";

std::string golden(const std::string& name) {
  std::string text = readFile(kGoldenDir + "/" + name);
  const std::string placeholder = "{program}";
  for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at))
    text.replace(at, placeholder.size(), kProgram);
  return text;
}

// A private appliance root: the client settings directory, optionally a catalogue and settings.
class Appliance {
 public:
  explicit Appliance(bool withCatalogue = false) {
    root_.makeConfigDir();
    if (withCatalogue) writeFile(clientTypes(), readFile(kDataDir + "/clientTypes.xml"));
  }
  std::string clients() const { return root_.paths().clientsXml; }
  std::string clientTypes() const { return root_.paths().clientTypesXml; }
  std::string serverSettings() const { return root_.paths().serverSettings; }

  ProgramResult run(std::vector<std::string> args) const {
    args.insert(args.begin(), kProgram);
    return root_.run(std::move(args));
  }

 private:
  StagedRoot root_;
};

void expectRun(const ProgramResult& result, const std::string& out, const std::string& err,
               int status) {
  EXPECT_EQ(result.out, out);
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.exitStatus, status);
}

struct RejectCase {
  const char* name;
  std::vector<std::string> args;
  const char* err;
  bool withCatalogue = false;
};

void PrintTo(const RejectCase& c, std::ostream* os) {
  *os << c.name;
}

class RejectedCommandLine : public ::testing::TestWithParam<RejectCase> {};

TEST_P(RejectedCommandLine, PrintsUsageAndWritesNothing) {
  const RejectCase& c = GetParam();
  Appliance appliance(c.withCatalogue);
  expectRun(appliance.run(c.args),
            golden(c.withCatalogue ? "usage_catalogue.txt" : "usage_default.txt"), c.err, 1);
  EXPECT_FALSE(kyto::test::fileExists(appliance.clients()));
}

constexpr char kMac[] = "00:11:22:33:44:55";

INSTANTIATE_TEST_SUITE_P(
    Cases, RejectedCommandLine,
    ::testing::Values(
        RejectCase{"NoCommand", {}, ""}, RejectCase{"NoCommandWithCatalogue", {}, "", true},
        RejectCase{"UpperCaseWord", {"ADD", "-m", kMac}, ""},
        RejectCase{"UnknownWord", {"adds"}, ""},
        RejectCase{"CheckWithAFileName", {"check", "clients.xml"}, ""},
        RejectCase{"AddWithoutMac", {"add", "-p", "3"}, ""}, RejectCase{"AddAlone", {"add"}, ""},
        RejectCase{"DelWithoutMac", {"del"}, ""},
        RejectCase{"ExtraWord", {"add", "-m", kMac, "extra"}, ""},
        RejectCase{"UnknownOption", {"add", "-m", kMac, "-x"}, ""},
        RejectCase{"ProfileWithoutValue", {"add", "-m", kMac, "-p"}, ""},
        RejectCase{"TypeWithoutValue", {"add", "-m", kMac, "-t"}, ""},
        RejectCase{"ProfileTooHigh", {"add", "-m", kMac, "-p", "6"}, "Error browsing profile Id\n"},
        RejectCase{
            "ProfileNotANumber", {"add", "-m", kMac, "-p", "2x"}, "Error browsing profile Id\n"},
        RejectCase{
            "DelChecksProfile", {"del", "-m", kMac, "-p", "9"}, "Error browsing profile Id\n"},
        RejectCase{"LowerCaseCustom",
                   {"add", "-m", kMac, "-t", "cust0123456789ab"},
                   "Error client type name\n"},
        RejectCase{
            "ShortCustom", {"add", "-m", kMac, "-t", "CUST0123"}, "Error client type name\n"},
        RejectCase{
            "TypeNotInCatalogue", {"add", "-m", kMac, "-t", "TvA"}, "Error client type name\n"},
        RejectCase{"BadMac", {"add", "-m", "00:11:22:33:44"}, "Error MAC address\n"},
        RejectCase{"OptionAsMac", {"add", "-m", "-d", "-p", "1"}, "Error MAC address\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClientadmProgram, AddDelListRoundTrip) {
  Appliance appliance(true);
  writeFile(appliance.serverSettings(), "[global]\ndeny_anonymous = 1\n");
  expectRun(appliance.run({"add", "-m", "02:1a:2b:3c:4d:5e", "-p", "3", "-t", "CUST0123456789ab",
                           "-u", "media", "-d"}),
            "", "", 0);
  expectRun(appliance.run({"add", "-mac", kMac, "-i", "192.168.1.20", "-t", "TvA"}), "", "", 0);
  expectRun(appliance.run({"add", "-m", "AA:BB:CC:DD:EE:FF", "-p", "-1", "-t", "Auto"}), "", "", 0);
  EXPECT_NE(readFile(appliance.clients()).find("MAC=\"AA:BB:CC:DD:EE:FF\""), std::string::npos);

  // Stored clients keep their own deny flag; deny_anonymous is for the caches only.
  expectRun(appliance.run({"list"}),
            "0|00:11:22:33:44:55|192.168.1.20||TvA|-1||0\n"
            "1|02:1a:2b:3c:4d:5e|||CUST0123456789ab|3|media|0\n"
            "0|aa:bb:cc:dd:ee:ff||||-1||0\n",
            "", 0);

  // add replaces the whole entry of the same address, del removes it in any spelling.
  expectRun(appliance.run({"add", "-m", kMac, "-p", "1"}), "", "", 0);
  expectRun(appliance.run({"del", "-m", "aa:bb:cc:dd:ee:ff"}), "", "", 0);
  expectRun(appliance.run({"del", "-m", "AA:BB:CC:DD:EE:FF"}), "", "", 1);
  expectRun(appliance.run({"del", "-m", "AA:BB:CC:DD:EE:FF"}), "", "", 1);
  expectRun(appliance.run({"list", "ignored", "words"}),
            "0|00:11:22:33:44:55||||1||0\n"
            "1|02:1a:2b:3c:4d:5e|||CUST0123456789ab|3|media|0\n",
            "", 0);
}

TEST(ClientadmProgram, AStoredUserCannotForgeAListingLine) {
  Appliance appliance;
  expectRun(appliance.run(
                {"add", "-m", kMac, "-u", "bob\n0|de:ad:be:ef:00:01|6.6.6.6|Admin PC||0|admin|0"}),
            "", "", 0);
  expectRun(appliance.run({"list"}),
            "0|00:11:22:33:44:55||||-1|bob?0?de:ad:be:ef:00:01?6.6.6.6?Admin PC??0?admin?0|0\n", "",
            0);
}

TEST(ClientadmProgram, ListReadsStoredFile) {
  Appliance appliance;
  writeFile(appliance.clients(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTS>\n"
            "  <CLIENT MAC=\"0:1:2:3:4:5\" DEVICE=\"Stored name\" USER_PROFILE=\"2\" DENY=\"0\"/>\n"
            "  <CLIENT MAC=\"00:11:22:33:44\" USER_PROFILE=\"1\"/>\n"
            "  <CLIENT MAC=\"00:00:00:00:00:0A\" USER_PROFILE=\"6\" DENY=\"2\" USER=\"kid\"/>\n"
            "  <CLIENT MAC=\"00:00:00:00:00:0b\" CLIENT_TYPE=\"CUSTffffffffffff\"/>\n"
            "  <CLIENT MAC=\"00:00:00:00:00:0B\" USER=\"alice\"/>\n"  // one address, one line
            "</UPNP_CLIENTS>\n");
  expectRun(appliance.run({"list"}),
            "1|00:00:00:00:00:0a||||-1|kid|0\n"
            "0|00:00:00:00:00:0b|||CUSTffffffffffff|-1||0\n"
            "0|00:01:02:03:04:05||||2||0\n",
            "", 0);
}

TEST(ClientadmProgram, ListWithNothingStoredPrintsNothing) {
  Appliance appliance;
  expectRun(appliance.run({"list"}), "", "", 0);
}

TEST(ClientadmProgram, SettingsLinesWithoutEqualsAreReportedOnEveryRun) {
  Appliance appliance;
  writeFile(appliance.serverSettings(), "# media server\r\nfoo\r\ndeny_anonymous = 1\r\n");
  expectRun(appliance.run({"list"}), "", "parsing error file\n", 0);
  expectRun(appliance.run({"ADD"}), golden("usage_default.txt"), "parsing error file\n", 1);
}

// Off the appliance every command that reads the configuration says what it could not do, then
// how to point clientadm at a staged root.
TEST(ClientadmProgram, OffTheApplianceEveryCommandSaysHowToPointItAtAStagedRoot) {
  StagedRoot root;  // no configuration directory
  const std::string hint = "clientadm: " + root.paths().configDir +
                           " does not exist: on a machine that is no appliance, set KYTO_ROOT to "
                           "the root of a staged appliance (KYTO_ROOT=DIR clientadm ...)\n";
  const std::string lockFailed = "Lock file failed(2): No such file or directory\n";
  const std::string notLocked =
      "clientadm: the client list could not be locked (No such file or directory): ";
  const struct {
    std::vector<std::string> args;
    std::string err;
    int status;
  } runs[] = {
      {{"add", "-m", kMac}, lockFailed + hint, 1},
      {{"del", "-m", kMac}, lockFailed + hint, 1},
      {{"list"}, lockFailed + hint, 0},
      {{"check"}, hint, 1},
      {{"history"}, notLocked + "its history is not read\n" + hint, 1},
      {{"restore", "1"}, notLocked + "nothing is restored\n" + hint, 1},
      {{"match", "UserAgent=x"},
       "clientadm: the client type catalogue " + root.paths().clientTypesXml +
           " could not be read (clientadm check says why): no entry matches\n" + hint,
       1},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.args[0]);
    std::vector<std::string> args = run.args;
    args.insert(args.begin(), kProgram);
    const ProgramResult result = root.run(args);
    EXPECT_EQ(result.err, run.err);
    EXPECT_EQ(result.exitStatus, run.status);
  }
}

TEST(ClientadmProgram, CatalogueTypesAndCustomTypesAreAccepted) {
  Appliance appliance(true);
  expectRun(appliance.run({"add", "-m", kMac, "-t", "Console"}), "", "", 0);
  expectRun(appliance.run({"add", "-m", "00:11:22:33:44:56", "-t", "CUSTzzzzzzzzzzzz"}), "", "", 0);
  expectRun(appliance.run({"add", "-m", "00:11:22:33:44:57", "-t", "StandardDLNA150"}), "", "", 0);
  expectRun(appliance.run({"list"}),
            "0|00:11:22:33:44:55|||Console|-1||0\n"
            "0|00:11:22:33:44:56|||CUSTzzzzzzzzzzzz|-1||0\n"
            "0|00:11:22:33:44:57|||StandardDLNA150|-1||0\n",
            "", 0);
}

TEST(ClientadmProgram, DelRemovesEntryStoredWithBadMac) {
  Appliance appliance;
  writeFile(appliance.clients(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTS>\n"
            "  <CLIENT MAC=\"not a mac\"/>\n  <CLIENT MAC=\"00:11:22:33:44:55\"/>\n"
            "</UPNP_CLIENTS>\n");
  expectRun(appliance.run({"del", "-m", "not a mac"}), "", "", 0);
  EXPECT_EQ(readFile(appliance.clients()).find("not a mac"), std::string::npos);
  expectRun(appliance.run({"list"}), "0|00:11:22:33:44:55||||-1||0\n", "", 0);
}

}  // namespace
