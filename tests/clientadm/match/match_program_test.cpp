// clientadm match against a staged catalogue: which entries a device's properties match, how
// they are printed, and the status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "staged_root.h"

namespace {

using kyto::test::StagedRoot;

const std::string kProgram = KYTO_CLIENTADM_PATH;

// A type name of the catalogue is read as the library reads it: in any letter case.
constexpr char kCatalogue[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<UPNP_CLIENTTYPES>
  <CLIENTTYPE SHORT_NAME="TvFind" FULL_NAME="TV | found" PATTERN="TvA/" PATTERN_TYPE="UserAgent" COMPARE_TYPE="StringFind"/>
  <CLIENTTYPE SHORT_NAME="TvExpression" FULL_NAME="TV&#10;expression" PATTERN="^(TvA|TvB)/[0-9]+ DLNA" PATTERN_TYPE="useragent" COMPARE_TYPE="regularexpression"/>
  <CLIENTTYPE SHORT_NAME="BoxName" PATTERN="Box" PATTERN_TYPE="FriendlyName"/>
  <CLIENTTYPE SHORT_NAME="BoxSsdp" FULL_NAME="Box by SSDP" PATTERN="Box" PATTERN_TYPE="FriendlyNameSSDP"/>
  <CLIENTTYPE SHORT_NAME="NoPattern" PATTERN_TYPE="UserAgent"/>
  <CLIENTTYPE SHORT_NAME="NoType" PATTERN="TvA"/>
  <CLIENTTYPE SHORT_NAME="NamesNoType" PATTERN="TvA" PATTERN_TYPE="User Agent"/>
  <CLIENTTYPE SHORT_NAME="Oversized" PATTERN="x{1001}" PATTERN_TYPE="Manufacturer" COMPARE_TYPE="RegularExpression"/>
  <CLIENTTYPE SHORT_NAME="Unclosed" PATTERN="(x" PATTERN_TYPE="Manufacturer" COMPARE_TYPE="RegularExpression"/>
  <CLIENTTYPE SHORT_NAME="Largest" PATTERN="x{1000}" PATTERN_TYPE="Manufacturer" COMPARE_TYPE="RegularExpression"/>
  <CLIENTTYPE SHORT_NAME="Dotted" PATTERN="a.b" PATTERN_TYPE="FriendlyName.DLNA.ORG"/>
</UPNP_CLIENTTYPES>
)";

// An expected standard output that is the usage text.
constexpr char kUsage[] = "<usage>";

std::string unusable(const std::string& type, const std::string& problem) {
  return "clientadm: client type \"" + type + "\": its RegularExpression PATTERN can't be used (" +
         problem + "): it matches no device\n";
}

struct MatchCase {
  const char* name;
  std::vector<std::string> words;  // after "match"
  std::string out;                 // JSON compared as JSON when words begin with --json
  std::string err;
  int status;
  bool catalogue = true;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kXs(1001, 'x');

const MatchCase kCases[] = {
    {"SearchAndExpressionNameInAnyCase",
     {"USERAGENT=TvA/2 DLNA/1.50"},
     "TvFind|TV ? found|UserAgent|StringFind|TvA/\n"
     "TvExpression|TV?expression|UserAgent|RegularExpression|^(TvA?TvB)/[0-9]+ DLNA\n",
     "",
     0},
    {"SearchHeedsCaseExpressionItsAnchor", {"UserAgent=tva/2 DLNA TvB/3 DLNA"}, "", "", 1},
    {"OwnPropertyOnlyValueKeepsEqualsAndSpaces",
     {"FriendlyNameSSDP=Box = 1", "ModelName=Box"},
     "BoxSsdp|Box by SSDP|FriendlyNameSSDP|StringFind|Box\n",
     "",
     0},
    {"NoPatternOrTypeNeverMatchesLastWordCounts",
     {"UserAgent=TvA/1 DLNA", "FriendlyName=Box", "useragent=TvA"},
     "BoxName||FriendlyName|StringFind|Box\n",
     "",
     0},
    {"SearchIsNoExpression", {"FriendlyName.DLNA.ORG=axb"}, "", "", 1},
    {"DottedNameInAnyCase",
     {"friendlyname.dlna.ORG=a.b"},
     "Dotted||FriendlyName.DLNA.ORG|StringFind|a.b\n",
     "",
     0},
    {"UnusableExpressionNeverMatchesAndIsSaid",
     {"Manufacturer=" + kXs},
     "Largest||Manufacturer|RegularExpression|x{1000}\n",
     unusable("Oversized",
              "it has more than 1000 elements with its repetitions counted out, too many to "
              "compile here") +
         unusable("Unclosed", "Unmatched ( or \\("),
     0},
    {"JsonTextsExactInCatalogueOrder",
     {"--json", "FriendlyName=Box", "UserAgent=TvA/2 DLNA"},
     R"([{"shortName":"TvFind","fullName":"TV | found","patternType":"UserAgent",)"
     R"("compareType":"StringFind","pattern":"TvA/"},)"
     R"({"shortName":"TvExpression","fullName":"TV\nexpression","patternType":"UserAgent",)"
     R"("compareType":"RegularExpression","pattern":"^(TvA|TvB)/[0-9]+ DLNA"},)"
     R"({"shortName":"BoxName","fullName":"","patternType":"FriendlyName",)"
     R"("compareType":"StringFind","pattern":"Box"}])",
     "",
     0},
    {"JsonNothingMatched", {"--json", "UserAgent=none"}, "[]", "", 1},
    {"NoCatalogue",
     {"UserAgent=TvA/"},
     "",
     "clientadm: the client type catalogue {catalogue} could not be read (clientadm check says "
     "why): no entry matches\n",
     1,
     false},
    {"MatchNoneIsNoProperty",
     {"MatchNone=x"},
     kUsage,
     "Error match word \"MatchNone=x\": it should be NAME=VALUE with a property NAME\n",
     2},
    {"WordWithoutEquals",
     {"UserAgent=x", "UserAgent"},
     kUsage,
     "Error match word \"UserAgent\": it should be NAME=VALUE with a property NAME\n",
     2},
    {"JsonOnlyRightAfterMatch",
     {"UserAgent=x", "--json"},
     kUsage,
     "Error match word \"--json\": it should be NAME=VALUE with a property NAME\n",
     2},
    {"NoWord", {"--json"}, kUsage, "Error, match should have NAME=VALUE words.\n", 2},
};

class Match : public ::testing::TestWithParam<MatchCase> {};

TEST_P(Match, PrintsTheMatchingEntriesAndTheirStatus) {
  const MatchCase& c = GetParam();
  StagedRoot root;
  root.makeConfigDir();
  if (c.catalogue) kyto::test::writeFile(root.paths().clientTypesXml, kCatalogue);
  std::vector<std::string> args = {"clientadm", "match"};
  args.insert(args.end(), c.words.begin(), c.words.end());
  const auto result = root.run(args);

  std::string err = c.err;
  if (const auto at = err.find("{catalogue}"); at != std::string::npos)
    err.replace(at, 11, root.paths().clientTypesXml);
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.exitStatus, c.status);
  if (c.out == kUsage) {
    EXPECT_TRUE(result.out.starts_with(kProgram + " add ")) << result.out;
    EXPECT_TRUE(result.out.ends_with(" FriendlyName.DLNA.ORG\n")) << result.out;
  } else if (!c.words.empty() && c.words.front() == "--json") {
    using Json = nlohmann::ordered_json;  // keeps the keys in their order
    EXPECT_EQ(Json::parse(result.out, nullptr, false), Json::parse(c.out)) << result.out;
  } else {
    EXPECT_EQ(result.out, c.out);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Match, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
