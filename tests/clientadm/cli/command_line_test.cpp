#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/client_type_registry.h"
#include "memory_stream.h"

namespace kyto::clientadm {
namespace {

using Text = std::optional<std::string>;

struct Fields {
  CommandCode command = CommandAdd;
  std::int32_t profileId = -1;
  Text mac = std::nullopt;
  Text ip = std::nullopt;
  Text user = std::nullopt;
  Text clientType = std::nullopt;
  std::int32_t deny = -1;
  Text filePath = std::nullopt;
  ListingFormat listing = ListingFormat::Text;
  bool operator==(const Fields&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Text& t) {
  return os << (t ? *t : "(none)");
}
std::ostream& operator<<(std::ostream& os, const Fields& f) {
  return os << "{command " << f.command << ", profile " << f.profileId << ", mac " << f.mac
            << ", ip " << f.ip << ", user " << f.user << ", type " << f.clientType << ", deny "
            << f.deny << ", file " << f.filePath << "}";
}

Text textOf(const char* text) {
  return text != nullptr ? Text(text) : std::nullopt;
}

struct ParseCase {
  std::vector<std::string> args;  // after the program name
  int status;
  Fields fields;  // checked when status is 0; only command and listing for list
  const char* errors = "";
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << "clientadm";
  for (const auto& a : c.args) *os << " '" << a << "'";
}

constexpr char kMac[] = "00:11:22:33:44:55";

Fields add(Text mac = kMac) {
  return Fields{.command = CommandAdd, .mac = std::move(mac)};
}
Fields del(Text mac) {
  return Fields{.command = CommandDel, .mac = std::move(mac)};
}
Fields withProfile(Fields f, std::int32_t profileId) {
  f.profileId = profileId;
  return f;
}
Fields withType(Fields f, Text clientType) {
  f.clientType = std::move(clientType);
  return f;
}

ParseCase badProfile(std::string text) {
  return ParseCase{
      {"add", "-m", kMac, "-p", std::move(text)}, 1, {}, "Error browsing profile Id\n"};
}

class ParseClientCommand : public ::testing::TestWithParam<ParseCase> {
 protected:
  void SetUp() override {
    for (const char* name : {"StandardDLNA150", "LivingTV"}) registry_.append(name, "x");
  }
  ClientTypeRegistry registry_;
};

TEST_P(ParseClientCommand, Parses) {
  const ParseCase& c = GetParam();
  std::vector<std::string> words = c.args;
  words.insert(words.begin(), "clientadm");
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  test::MemoryStream errors;
  ParsedCommand parsed;
  const int status = parseClientCommand(static_cast<int>(words.size()), argv.data(), &parsed,
                                        registry_, errors.get());
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(errors.text(), c.errors);
  if (status != 0) return;
  if (c.fields.command == CommandList) {
    EXPECT_EQ(parsed.command, c.fields.command);
    EXPECT_EQ(parsed.listing, c.fields.listing);
    return;
  }
  const Fields actual{parsed.command,    parsed.profileId,       textOf(parsed.mac),
                      textOf(parsed.ip), textOf(parsed.user),    textOf(parsed.clientType),
                      parsed.deny,       textOf(parsed.filePath)};
  EXPECT_EQ(actual, c.fields);
}

const Fields kList{.command = CommandList};
const Fields kJsonList{.command = CommandList, .listing = ListingFormat::Json};
Fields duration(Text filePath) {
  return Fields{.command = CommandGetDuration, .filePath = std::move(filePath)};
}
constexpr char kNoFilePath[] = "Error, it should have --filePath parameter.\n";

INSTANTIATE_TEST_SUITE_P(
    CommandWords, ParseClientCommand,
    ::testing::Values(ParseCase{{}, -1, {}}, ParseCase{{"ADD"}, 1, {}}, ParseCase{{"adds"}, 1, {}},
                      ParseCase{{""}, 1, {}}, ParseCase{{"list"}, 0, kList},
                      ParseCase{{"list", "anything", "-p", "9"}, 0, kList},
                      // Only "--json" right after list asks for JSON.
                      ParseCase{{"list", "--json"}, 0, kJsonList},
                      ParseCase{{"list", "--json", "x"}, 0, kJsonList},
                      ParseCase{{"list", "x", "--json"}, 0, kList},
                      ParseCase{{"list", "--JSON"}, 0, kList},
                      ParseCase{{"list", "-json"}, 0, kList},
                      ParseCase{{"getDuration"}, 2, {}, kNoFilePath},
                      ParseCase{{"getDuration", "--filePath", "/a.mp3"}, 0, duration("/a.mp3")}));

// getDuration's own words: a refusal writes its message and asks for no usage (status 2).
INSTANTIATE_TEST_SUITE_P(
    DurationWords, ParseClientCommand,
    ::testing::Values(ParseCase{{"getDuration", "--filePath", "a b", "x"}, 0, duration("a b")},
                      ParseCase{{"getDuration", "--filePath", ""}, 0, duration("")},
                      ParseCase{{"getDuration", "--filePath"}, 2, {}, kNoFilePath},
                      ParseCase{{"getDuration", "--filepath", "/a.mp3"}, 2, {}, kNoFilePath},
                      ParseCase{{"getDuration", "-p", "9"}, 2, {}, kNoFilePath}));

INSTANTIATE_TEST_SUITE_P(
    Options, ParseClientCommand,
    ::testing::Values(
        ParseCase{{"add", "-m", kMac}, 0, add()},
        ParseCase{{"add", "-m", kMac, "-p", "3", "-t", "CUST0123456789ab"},
                  0,
                  withType(withProfile(add(), 3), "CUST0123456789ab")},
        ParseCase{{"add", "-m", kMac, "-d", "-p", "3"},
                  0,
                  Fields{.command = CommandAdd, .profileId = 3, .mac = kMac, .deny = 1}},
        ParseCase{{"add", "-mac", kMac, "-ip", "10.0.0.9", "-user", "media", "-deny"},
                  0,
                  Fields{.mac = kMac, .ip = "10.0.0.9", .user = "media", .deny = 1}},
        ParseCase{{"add", "-m", "aa:aa:aa:aa:aa:aa", "-m", kMac}, 0, add()},
        ParseCase{{"add", "-m", "0:1:2:3:4:5"}, 0, add("0:1:2:3:4:5")},
        ParseCase{{"add", "-u", "-d", "-m", kMac}, 0, Fields{.mac = kMac, .user = "-d"}},
        // -i, -m and -u as the last word leave their field unset.
        ParseCase{{"add", "-m", kMac, "-i", "10.0.0.1", "-i"}, 0, add()},
        ParseCase{{"add", "-m", kMac, "-u"}, 0, add()},
        ParseCase{{"add", "-m", kMac, "extra"}, 1, {}}, ParseCase{{"add", "-m", kMac, "-"}, 1, {}},
        ParseCase{{"add", "-m", kMac, ""}, 1, {}}, ParseCase{{"add", "-m", kMac, "-x", "1"}, 1, {}},
        ParseCase{{"add", "-m", kMac, "-D"}, 1, {}},
        ParseCase{{"del", "-m", "whatever it was"}, 0, del("whatever it was")},
        ParseCase{
            {"del", "-m", kMac, "-d", "-u", "u", "-p", "2"},
            0,
            Fields{.command = CommandDel, .profileId = 2, .mac = kMac, .user = "u", .deny = 1}}));

INSTANTIATE_TEST_SUITE_P(
    ProfileIds, ParseClientCommand,
    ::testing::Values(
        ParseCase{{"add", "-m", kMac, "-p", "5"}, 0, withProfile(add(), 5)},
        ParseCase{{"add", "-m", kMac, "-p", "-1"}, 0, withProfile(add(), -1)},
        ParseCase{{"add", "-m", kMac, "-p", "-7"}, 0, withProfile(add(), -7)},
        ParseCase{{"add", "-m", kMac, "-p", "0"}, 0, withProfile(add(), 0)},
        ParseCase{{"add", "-m", kMac, "-p", " \t+4"}, 0, withProfile(add(), 4)},
        ParseCase{{"add", "-m", kMac, "-p", "-007"}, 0, withProfile(add(), -7)},
        ParseCase{{"add", "-m", kMac, "-p", "4294967297"}, 0, withProfile(add(), 1)},
        ParseCase{{"add", "-m", kMac, "-p", "6"}, 1, {}, "Error browsing profile Id\n"},
        ParseCase{{"add", "-m", kMac, "-p", "99999999999999999999"}, 0, withProfile(add(), -1)},
        ParseCase{{"add", "-m", kMac, "-p", "4294967302"}, 1, {}, "Error browsing profile Id\n"},
        ParseCase{{"del", "-m", kMac, "-p", "9"}, 1, {}, "Error browsing profile Id\n"},
        // A rejected option ends the scan: later faults are not reported.
        ParseCase{
            {"add", "-m", "bad", "-p", "6", "-t", "bad"}, 1, {}, "Error browsing profile Id\n"},
        ParseCase{{"add", "-m", kMac, "-p"}, 1, {}},
        // Anything but a whole number is refused like a profile over 5.
        badProfile("abc"), badProfile("2x"), badProfile(" +4x"), badProfile(""), badProfile(" "),
        badProfile("+"), badProfile("+-1"), badProfile("4 "), badProfile("3\n"), badProfile("0x3"),
        badProfile("3.0"), badProfile("1e0"), badProfile("\xef\xbc\x93")));

INSTANTIATE_TEST_SUITE_P(
    ClientTypes, ParseClientCommand,
    ::testing::Values(
        ParseCase{{"add", "-m", kMac, "-t", "Auto"}, 0, add()},
        ParseCase{{"add", "-m", kMac, "-t", "LivingTV", "-t", "Auto"}, 0, add()},
        ParseCase{
            {"add", "-m", kMac, "-t", "StandardDLNA150"}, 0, withType(add(), "StandardDLNA150")},
        ParseCase{{"add", "-m", kMac, "-t", "LivingTV"}, 0, withType(add(), "LivingTV")},
        ParseCase{
            {"add", "-m", kMac, "-t", "CUSTzzzzzzzzzzzz"}, 0, withType(add(), "CUSTzzzzzzzzzzzz")},
        ParseCase{{"add", "-m", kMac, "-t", "livingtv"}, 1, {}, "Error client type name\n"},
        ParseCase{{"add", "-m", kMac, "-t", "auto"}, 1, {}, "Error client type name\n"},
        ParseCase{{"add", "-m", kMac, "-t", "cust0123456789ab"}, 1, {}, "Error client type name\n"},
        ParseCase{{"add", "-m", kMac, "-t", "CUST0123"}, 1, {}, "Error client type name\n"},
        ParseCase{
            {"add", "-m", kMac, "-t", "CUST0123456789abc"}, 1, {}, "Error client type name\n"},
        ParseCase{{"del", "-m", kMac, "-t", "Nope", "-p", "9"}, 1, {}, "Error client type name\n"},
        ParseCase{{"add", "-m", kMac, "-t"}, 1, {}}));

INSTANTIATE_TEST_SUITE_P(
    MacAddresses, ParseClientCommand,
    ::testing::Values(ParseCase{{"add"}, 1, {}}, ParseCase{{"add", "-d"}, 1, {}},
                      ParseCase{{"add", "-m"}, 1, {}}, ParseCase{{"del"}, 1, {}},
                      ParseCase{{"del", "-m"}, 1, {}},
                      ParseCase{{"add", "-m", ""}, 1, {}, "Error MAC address\n"},
                      ParseCase{{"add", "-m", "-d"}, 1, {}, "Error MAC address\n"},
                      ParseCase{{"add", "-m", "00-11-22-33-44-55"}, 1, {}, "Error MAC address\n"},
                      ParseCase{{"add", "-m", "00:11:22:33:44:55 "}, 1, {}, "Error MAC address\n"},
                      ParseCase{{"add", "-m", "00:11:22:33:44"}, 1, {}, "Error MAC address\n"},
                      ParseCase{{"del", "-m", ""}, 0, del("")}));

}  // namespace
}  // namespace kyto::clientadm
