// The check command's readers on broken files: each file gives exactly the expected lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "check/config_check.h"
#include "check/name_suggestion.h"
#include "test_support.h"

namespace kyto::clientadm {

namespace {

using kyto::test::TempDir;
using kyto::test::writeFile;

enum class File { List, Catalogue };

struct BrokenFile {
  const char* name;
  File file;
  std::string content;  // "<missing>" for no file, "<directory>" or "<fifo>" for one in its place
  std::vector<std::string> expected;  // "LINE: TEXT", without the path
  // Made when the test runs, not when tests are listed: "{quotes}" in content stands for so many.
  std::size_t quotes = 0;
};

void PrintTo(const BrokenFile& c, std::ostream* os) {
  *os << c.name;
}

// Entries start on line 2.
std::string list(const std::string& entries) {
  return "<UPNP_CLIENTS>\n" + entries + "</UPNP_CLIENTS>\n";
}
std::string catalogue(const std::string& entries) {
  return "<UPNP_CLIENTTYPES>\n" + entries + "</UPNP_CLIENTTYPES>\n";
}
std::string regexType(const std::string& name, const std::string& pattern) {
  return "<CLIENTTYPE SHORT_NAME=\"" + name + "\" PATTERN=\"" + pattern +
         "\" COMPARE_TYPE=\"RegularExpression\"/>\n";
}
std::string nested(std::size_t depth) {
  return std::string(depth, '(') + "x" + std::string(depth, ')');
}

class CheckedFile : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(CheckedFile, GivesTheExpectedLines) {
  const BrokenFile& c = GetParam();
  TempDir dir;
  const std::string path = dir / "file.xml";
  if (c.content == "<directory>") {
    kyto::test::makeDirs(path);
  } else if (c.content == "<fifo>") {
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
  } else if (c.content != "<missing>") {
    std::string content = c.content;
    if (const auto at = content.find("{quotes}"); at != std::string::npos)
      content.replace(at, 8, std::string(c.quotes, '"'));
    writeFile(path, content);
  }
  CheckReport report;
  if (c.file == File::List) {
    const std::unordered_set<std::string> catalogueNames = {"TvA", "Box"};
    checkClientList(path, readConfigDocument(path), &catalogueNames, report);
  } else {
    checkClientTypes(path, report);
  }
  std::vector<std::string> expected;
  for (const std::string& line : c.expected) expected.push_back(path + ":" + line);
  EXPECT_EQ(report.lines(), expected);
}

constexpr char kSkipped[] = ": the entry is skipped, never listed, never served";
constexpr char kNewList[] =
    "no stored client is listed, and the next add keeps a .corrupt- copy of the file and starts a "
    "new list";
constexpr char kIgnored[] =
    "the catalogue is ignored: clientadm knows no client type but StandardDLNA150";
constexpr char kNotCatalogueType[] =
    " is neither a catalogue short name nor CUST and 12 hexadecimal digits: no catalogue type "
    "applies to the device";

INSTANTIATE_TEST_SUITE_P(
    ClientList, CheckedFile,
    ::testing::Values(
        BrokenFile{"Missing", File::List, "<missing>", {}},
        BrokenFile{"Directory",
                   File::List,
                   "<directory>",
                   {"0: cannot be read (Is a directory): no stored client is listed"}},
        BrokenFile{"Fifo",
                   File::List,
                   "<fifo>",
                   {"0: cannot be read (not a regular file): no stored client is listed"}},
        BrokenFile{"BeyondLibxmlsLineLimit",
                   File::List,
                   list(std::string(70000, '\n') + "<CLIENT MAC=\"x\"/>\n"),
                   {std::string("70002: MAC \"x\" is not six hexadecimal fields joined by ':'") +
                    kSkipped}},
        BrokenFile{"Empty",
                   File::List,
                   "",
                   {std::string("1: not well-formed (no element found): ") + kNewList}},
        BrokenFile{"Malformed",
                   File::List,
                   list("<CLIENT MAC=\"0:0:0:0:0:1\">\n</CLEINT>\n"),
                   {std::string("3: not well-formed (mismatched tag): ") + kNewList}},
        BrokenFile{
            "BeyondLimits",
            File::List,
            "<!DOCTYPE UPNP_CLIENTS SYSTEM \"x.dtd\">\n<UPNP_CLIENTS/>\n",
            {"0: is not read (it needs declarations from outside the file (an external subset or "
             "external parameter entities), which the tools never read): no stored client is "
             "listed, and "
             "add and del fail and "
             "leave it as it is; write the declarations it needs into the file itself, without "
             "parameter entities"}},
        BrokenFile{"DocumentTypeChangesANewClient",
                   File::List,
                   "<!DOCTYPE UPNP_CLIENTS [<!ATTLIST CLIENT DENY CDATA \"1\">]>\n" +
                       list("<CLIENT MAC=\"00:11:22:33:44:55\"/>\n"),
                   {"0: its document type gives CLIENT attributes defaults or types, which a new "
                    "client would take on: add fails and leaves it as it is"}},
        BrokenFile{"DocumentTypeUsesParameterEntities",
                   File::List,
                   "<!DOCTYPE UPNP_CLIENTS [<!ENTITY % n \"<!ENTITY x 'y'>\"> %n;]>\n"
                   "<UPNP_CLIENTS/>\n",
                   {"0: its document type uses parameter entities, which a rewrite would not "
                    "keep as written: add and del fail and leave it as it is"}},
        BrokenFile{"RewriteOutgrowsWhatTheToolsRead",
                   File::List,
                   list("<NOTE a='{quotes}'/>\n"),
                   {"0: would be larger than the 64 MiB the tools read once rewritten: add and del "
                    "fail and leave it as it is",
                    "2: element \"NOTE\" is not a CLIENT: it is ignored"},
                   12'000'000},
        BrokenFile{"RewriteNearWhatTheToolsRead",
                   File::List,
                   list("<NOTE a='{quotes}'/>\n"),
                   {"0: is within 100 KB of the 64 MiB the tools read once rewritten: an add of a "
                    "long client fails and leaves it as it is",
                    "2: element \"NOTE\" is not a CLIENT: it is ignored"},
                   11'170'000},
        BrokenFile{"NoListElement",
                   File::List,
                   "<LIST>\n<CLIENT MAC=\"0:0:0:0:0:1\"/>\n</LIST>\n",
                   {std::string("1: has no UPNP_CLIENTS element: ") + kNewList}},
        BrokenFile{"ListElementNotTheRoot",
                   File::List,
                   "<ROOT>\n" + list("<CLIENT MAC=\"0:0:0:0:0:1\" DENY=\"x\"/>\n") + "</ROOT>\n",
                   {"1: the root element \"ROOT\" is not UPNP_CLIENTS: list reads the UPNP_CLIENTS "
                    "inside it, but the next add keeps a .corrupt- copy of the file and starts a "
                    "new list and del fails",
                    "3: DENY \"x\" is not a number: it is read as 0, the device is not denied"}},
        BrokenFile{
            "Addresses",
            File::List,
            list("<CLIENT IP=\"1.2.3.4\"/>\n"
                 "<CLIENT MAC=\"\"/>\n"
                 "<CLIENT MAC=\"00:11:22:33:44\"/>\n"
                 "<CLIENT MAC=\"00:11:22:33:44:5g\"/>\n"
                 "<CLIENT MAC=\"00:11:22:33:44:55\"/>\n"
                 "<CLIENT\n MAC=\"0:11:22:33:44:55\"/>\n"
                 "<CLIENT MAC=\"00:11:22:33:44:56\"/>\n"
                 "<CLIENT MAC=\"0:0&#10;:0:0:0:1\"/>\n"),
            {std::string("2: CLIENT has no MAC") + kSkipped,
             std::string("3: MAC \"\" is not six hexadecimal fields joined by ':'") + kSkipped,
             std::string("4: MAC \"00:11:22:33:44\" is not six hexadecimal fields joined by "
                         "':'") +
                 kSkipped,
             std::string("5: MAC \"00:11:22:33:44:5g\" is not six hexadecimal fields "
                         "joined by ':'") +
                 kSkipped,
             "7: MAC \"0:11:22:33:44:55\" is the address of the CLIENT of line 6 as well: "
             "this entry is shadowed, list shows the earlier one's profile, user, client "
             "type and deny flag",
             std::string("10: MAC \"0:0?:0:0:0:1\" is not six hexadecimal fields joined by "
                         "':'") +
                 kSkipped}},
        BrokenFile{"Profiles",
                   File::List,
                   list("<CLIENT MAC=\"0:0:0:0:0:1\" USER_PROFILE=\"0\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:2\" USER_PROFILE=\"05\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:3\" USER_PROFILE=\"\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:4\" USER_PROFILE=\"kids\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:5\" USER_PROFILE=\"6\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:6\" USER_PROFILE=\"-1\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:7\" USER_PROFILE=\"3abc\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:8\" USER_PROFILE=\"4294967299\"/>\n"),
                   {"4: USER_PROFILE \"\" is not a number from 0 to 5: it is read as profile 0",
                    "5: USER_PROFILE \"kids\" is not a number from 0 to 5: it is read as profile 0",
                    "6: USER_PROFILE \"6\" is not a number from 0 to 5: it is read as no profile "
                    "(-1)",
                    "7: USER_PROFILE \"-1\" is not a number from 0 to 5: it is read as no profile "
                    "(-1)",
                    "8: USER_PROFILE \"3abc\" is not a number from 0 to 5: it is read as profile 3",
                    "9: USER_PROFILE \"4294967299\" is not a number from 0 to 5: it is read as "
                    "profile 3"}},
        BrokenFile{"DenyFlags",
                   File::List,
                   list("<CLIENT MAC=\"0:0:0:0:0:1\" DENY=\"1\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:2\" DENY=\"-1\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:3\" DENY=\"yes\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:4\" DENY=\"\"/>\n"
                        "<CLIENT MAC=\"0:0:0:0:0:5\" DENY=\"2x\"/>\n"),
                   {"4: DENY \"yes\" is not a number: it is read as 0, the device is not denied",
                    "5: DENY \"\" is not a number: it is read as 0, the device is not denied",
                    "6: DENY \"2x\" is not a number: it is read as 1, the device is denied"}},
        BrokenFile{
            "ClientTypes",
            File::List,
            list("<CLIENT MAC=\"0:0:0:0:0:1\" CLIENT_TYPE=\"TvA\"/>\n"
                 "<CLIENT MAC=\"0:0:0:0:0:2\" CLIENT_TYPE=\"StandardDLNA150\"/>\n"
                 "<CLIENT MAC=\"0:0:0:0:0:3\" CLIENT_TYPE=\"CUST0123456789ab\"/>\n"
                 "<CLIENT MAC=\"0:0:0:0:0:4\" CLIENT_TYPE=\"\"/>\n"
                 "<CLIENT MAC=\"0:0:0:0:0:5\" CLIENT_TYPE=\"tva\"/>\n"
                 "<CLIENT MAC=\"0:0:0:0:0:6\" CLIENT_TYPE=\"CUST0123456789az\"/>\n"
                 "<CLIENT MAC=\"0:0:0:0:0:7\" CLIENT_TYPE=\"cust0123456789ab\"/>\n"
                 "<CLIENT MAC=\"0:0:0:0:0:8\" CLIENT_TYPE=\"Television\"/>\n"),
            {std::string("6: CLIENT_TYPE \"tva\"") + kNotCatalogueType + "; did you mean \"TvA\"?",
             std::string("7: CLIENT_TYPE \"CUST0123456789az\"") + kNotCatalogueType,
             std::string("8: CLIENT_TYPE \"cust0123456789ab\"") + kNotCatalogueType,
             std::string("9: CLIENT_TYPE \"Television\"") + kNotCatalogueType}},
        BrokenFile{"UnknownNames",
                   File::List,
                   list("<CLIENT MAC=\"0:0:0:0:0:1\" USER_PROFLE=\"2\" NOTE=\"a\"/>\n"
                        "<CLEINT MAC=\"0:0:0:0:0:2\"/>\n"),
                   {"2: CLIENT attribute \"USER_PROFLE\" is unknown: it is ignored; did you mean "
                    "\"USER_PROFILE\"?",
                    "2: CLIENT attribute \"NOTE\" is unknown: it is ignored",
                    "3: element \"CLEINT\" is not a CLIENT: it is ignored; did you mean "
                    "\"CLIENT\"?"}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Catalogue, CheckedFile,
    ::testing::Values(
        BrokenFile{"Missing",
                   File::Catalogue,
                   "<missing>",
                   {std::string("0: cannot be read (No such file or directory): ") + kIgnored}},
        BrokenFile{"Malformed",
                   File::Catalogue,
                   catalogue("<CLIENTTYPE SHORT_NAME=\"A\" SHORT_NAME=\"B\"/>\n"),
                   {std::string("2: not well-formed (duplicate attribute): ") + kIgnored}},
        BrokenFile{"NoCatalogueElement",
                   File::Catalogue,
                   "<TYPES/>\n",
                   {std::string("1: has no UPNP_CLIENTTYPES element: ") + kIgnored}},
        BrokenFile{"ShortNames",
                   File::Catalogue,
                   catalogue("<CLIENTTYPE SHORT_NAME=\"TvA\"/>\n"
                             "<CLIENTTYPE FULL_NAME=\"No name\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"tva\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"TvA\"/>\n"
                             "<TYPE SHORT_NAME=\"Box\"/>\n"),
                   {"3: CLIENTTYPE has no SHORT_NAME: clientadm stops reading the catalogue here, "
                    "so this type and every later one are unknown to it",
                    "4: CLIENTTYPE has an empty SHORT_NAME: clientadm stops reading the catalogue "
                    "here, so this type and every later one are unknown to it",
                    "6: SHORT_NAME \"TvA\" repeats the type of line 2: this entry is ignored",
                    "7: element \"TYPE\" is not a CLIENTTYPE: it is ignored"}},
        BrokenFile{"Flags",
                   File::Catalogue,
                   catalogue("<CLIENTTYPE SHORT_NAME=\"A\" FLAG=\"dlna||NO_RANGE, \" "
                             "SFLAG=\"sony sonybdp\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"B\" FLAG=\"DLNA|NO_RANG,Dlan|FOO\" "
                             "SFLAG=\"XBOX360\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"C\" FLAG=\"DLNA&#9;NO_RANGE\"/>\n"),
                   {"3: FLAG word \"NO_RANG\" names no flag: it is dropped; did you mean "
                    "\"NO_RANGE\"?",
                    "3: FLAG word \"Dlan\" names no flag: it is dropped; did you mean \"DLNA\"?",
                    "3: FLAG word \"FOO\" names no flag: it is dropped",
                    "3: SFLAG word \"XBOX360\" names no flag: it is dropped",
                    "4: FLAG word \"DLNA?NO_RANGE\" names no flag: it is dropped"}},
        BrokenFile{"Enumerations",
                   File::Catalogue,
                   catalogue("<CLIENTTYPE SHORT_NAME=\"A\" PATTERN_TYPE=\"useragent\" "
                             "COMPARE_TYPE=\"stringfind\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"B\" PATTERN_TYPE=\" UserAgent\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"C\" PATTERN_TYPE=\"Model Name\" "
                             "COMPARE_TYPE=\"Regex\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"D\" PATTERN_TYPE=\"\"/>\n"),
                   {"3: PATTERN_TYPE \" UserAgent\" names no match type: it is read as MatchNone; "
                    "the text has a space, which no name has; did you mean \"UserAgent\"?",
                    "4: PATTERN_TYPE \"Model Name\" names no match type: it is read as "
                    "MatchNone; the text has a space, which no name has; did you mean "
                    "\"ModelName\"?",
                    "4: COMPARE_TYPE \"Regex\" names no compare type: it is read as StringFind",
                    "5: PATTERN_TYPE \"\" names no match type: it is read as MatchNone"}},
        BrokenFile{
            "Patterns",
            File::Catalogue,
            catalogue("<CLIENTTYPE SHORT_NAME=\"A\" PATTERN=\"^Tv-[0-9]{2,3}( |$)\" "
                      "COMPARE_TYPE=\"regularexpression\"/>\n"
                      "<CLIENTTYPE SHORT_NAME=\"B\" PATTERN=\"Tv(\"/>\n"
                      "<CLIENTTYPE SHORT_NAME=\"C\" PATTERN=\"Tv(\" "
                      "COMPARE_TYPE=\"RegularExpression\"/>\n"
                      "<CLIENTTYPE SHORT_NAME=\"D\" PATTERN=\"x{1000}\" "
                      "COMPARE_TYPE=\"RegularExpression\"/>\n"
                      "<CLIENTTYPE SHORT_NAME=\"E\" PATTERN=\"x{1001}\" "
                      "COMPARE_TYPE=\"RegularExpression\"/>\n" +
                      regexType("F", "x{,100}") + regexType("G", "x{,101}") +
                      regexType("H", "^$^$^$^$^$^$^$^$") + regexType("I", "^$^$^$^$^$^$^$^$^") +
                      regexType("J", nested(100)) + regexType("K", nested(101)) +
                      regexType("L", "(x+)*") + regexType("M", "(x*)+")),
            {"4: PATTERN \"Tv(\" does not compile as a POSIX extended regular expression "
             "(Unmatched ( or \\(): no device can match it",
             "6: PATTERN \"x{1001}\" does not compile as a POSIX extended regular "
             "expression (it has more than 1000 elements with its repetitions counted "
             "out, too many to compile here): no device can match it",
             "8: PATTERN \"x{,101}\" does not compile as a POSIX extended regular "
             "expression (it has more than 200 elements that can match nothing with its "
             "repetitions counted out, too many to compile here): no device can match it",
             "10: PATTERN \"^$^$^$^$^$^$^$^$^\" does not compile as a POSIX extended "
             "regular expression (it has more than 16 anchors with its repetitions "
             "counted out, too many to compile here): no device can match it",
             "12: PATTERN \"" + nested(101) +
                 "\" does not compile as a POSIX extended regular expression (it nests "
                 "groups more than 100 deep, too deep to compile here): no device can "
                 "match it",
             "14: PATTERN \"(x*)+\" does not compile as a POSIX extended regular "
             "expression (it repeats without bound a part that can match nothing, which "
             "regcomp can take exponential time over): no device can match it"}},
        BrokenFile{"Numbers",
                   File::Catalogue,
                   catalogue("<CLIENTTYPE SHORT_NAME=\"A\" BFLAG=\"-3\" TRANSCODE=\"x\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"B\" BFLAG=\"0x10\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"C\" BFLAG=\"12abc\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"D\" BFLAG=\"99999999999999999999\"/>\n"
                             "<CLIENTTYPE SHORT_NAME=\"E\" BFLG=\"1\"/>\n"),
                   {"3: BFLAG \"0x10\" is not a decimal integer: it is read as 0",
                    "4: BFLAG \"12abc\" is not a decimal integer: it is read as 12",
                    "5: BFLAG \"99999999999999999999\" is not a decimal integer: it is read as "
                    "9223372036854775807",
                    "6: CLIENTTYPE attribute \"BFLG\" is unknown: it is ignored; did you mean "
                    "\"BFLAG\"?"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NearestName, AllowsTwoEditsIgnoringCaseAndFewerThanTheNameIsLong) {
  const std::vector<std::string_view> names = {"IP", "MAC", "USER", "USER_PROFILE"};
  EXPECT_EQ(nearestName("mac", names), "MAC");
  EXPECT_EQ(nearestName("USR", names), "USER");
  EXPECT_EQ(nearestName("USER_PROFLE", names), "USER_PROFILE");
  EXPECT_EQ(nearestName("US_PROFLE", names), "");  // three edits
  EXPECT_EQ(nearestName("XY", names), "");         // two edits would rewrite "IP" whole
  // Longer words than a typo makes, and longer names, get and give no suggestion.
  const std::string longest(kMostSuggestedLength, 'n');
  const std::vector<std::string_view> longNames = {longest, longest + "n"};
  EXPECT_EQ(nearestName(longest + "x", longNames), "");
  EXPECT_EQ(nearestName(longest + "nx", longNames), "");
  EXPECT_EQ(nearestName(longest.substr(1) + "x", longNames), longest);
}

// A large catalogue asked for many misspelt types: the same answers as nearestName, the first
// name in the order of preference among equally close ones, and none once the budget is spent.
TEST(NameSuggester, AnswersAsNearestNameWithinItsBudget) {
  std::vector<std::string> owned;
  for (int i = 0; i < 5000; ++i) owned.push_back("Type" + std::to_string(100000 + i));
  const std::vector<std::string_view> names(owned.begin(), owned.end());
  NameSuggester suggester(names);
  EXPECT_EQ(suggester.suggestion("type100007"), "; did you mean \"Type100007\"?");
  EXPECT_EQ(suggester.suggestion("Type10000"), suggestion("Type10000", names));  // ties: first
  EXPECT_EQ(suggester.suggestion("Type1000123"), "; did you mean \"Type100012\"?");
  EXPECT_EQ(suggester.suggestion(std::string(100000, 'T')), "");
  int suggested = 0;
  int words = 0;
  for (; words < 20000; ++words)
    suggested += !suggester.suggestion("Tipe" + std::to_string(100000 + words)).empty();
  EXPECT_GT(suggested, 0);
  EXPECT_LT(suggested, words);  // the budget ran out on the way
  EXPECT_EQ(suggester.suggestion("type100007"), "; did you mean \"Type100007\"?");  // kept
}

}  // namespace
}  // namespace kyto::clientadm
