#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kytoutil/kytoutil.h"
#include "staged_root.h"
#include "test_support.h"

namespace {

using ClientFilesTest = kyto::test::FreshProcessRoot;
using kyto::test::processPaths;
using kyto::test::writeFile;

struct ClientType {
  std::optional<std::string> shortName, fullName;
  unsigned flag, sflag;
  std::optional<std::string> pattern;
  int matchType, compareType;
  long bflag;
  std::optional<std::string> transcode;
  bool operator==(const ClientType&) const = default;
};

void PrintTo(const ClientType& t, std::ostream* os) {
  *os << "{" << t.shortName.value_or("(null)") << " flag=" << std::hex << t.flag
      << " sflag=" << t.sflag << std::dec << " match=" << t.matchType
      << " compare=" << t.compareType << " bflag=" << t.bflag << "}";
}

struct Walk {
  std::vector<ClientType> types;
  size_t stopAfter = SIZE_MAX;
  int status = -1;
};

std::optional<std::string> textOrNone(const char* text) {
  return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

int collect(void* context, const char* shortName, const char* fullName, unsigned flag,
            unsigned sflag, const char* pattern, int matchType, int compareType, long bflag,
            const char* transcode) {
  auto* walk = static_cast<Walk*>(context);
  walk->types.push_back({textOrNone(shortName), textOrNone(fullName), flag, sflag,
                         textOrNone(pattern), matchType, compareType, bflag,
                         textOrNone(transcode)});
  return walk->types.size() >= walk->stopAfter ? 1 : 0;
}

Walk readCatalogue(size_t stopAfter = SIZE_MAX) {
  Walk walk;
  walk.stopAfter = stopAfter;
  walk.status = Kyto_Util_ReadClientTypeSettings(collect, &walk);
  return walk;
}

using ClientTypes = ClientFilesTest;

TEST_F(ClientTypes, AreHandedOnWithTheirNamesConverted) {
  writeFile(processPaths().clientTypesXml, R"(<?xml version="1.0"?>
<UPNP_CLIENTTYPES>
  <CLIENTTYPE SHORT_NAME="Sony" FULL_NAME="Sony TV" FLAG="DLNA|NO_RANGE" SFLAG="SONY SONYBDP"
    PATTERN="BRAVIA" PATTERN_TYPE="useragent" COMPARE_TYPE="RegularExpression"
    BFLAG="12abc" TRANSCODE="mpeg2"/>
  <CLIENTTYPE SHORT_NAME="Lower" FLAG="dlna, no_range" PATTERN_TYPE=" UserAgent" BFLAG="0x10"/>
  <CLIENTTYPE FLAG="DLNA||Unknown" PATTERN_TYPE="User Agent" COMPARE_TYPE="nothing"/>
  <CLIENTTYPE SHORT_NAME="All" FLAG="DLNA|MIME_AVI_DIVX|MIME_AVI_AVI|MIME_FLAC_FLAC|MIME_WAV_WAV|NO_RESIZE|MS_PFS|NO_RANGE|USE_MODELNAME|CONTENT_LENGTH"
    PATTERN_TYPE="FriendlyName.DLNA.ORG" BFLAG=" -7"/>
</UPNP_CLIENTTYPES>
)");
  Walk walk = readCatalogue();
  EXPECT_EQ(walk.status, 0);
  const std::vector<ClientType> expected = {
      {"Sony", "Sony TV", 0x08100000, 0x81, "BRAVIA", 1, 1, 12, "mpeg2"},
      {"Lower", {}, 0x08100000, 0, {}, 0, 0, 0, {}},
      {{}, {}, 0x00100000, 0, {}, 0, 0, 0, {}},
      {"All", {}, 0x5FF00000, 0, {}, 8, 0, -7, {}},
  };
  EXPECT_EQ(walk.types, expected);
}

TEST_F(ClientTypes, ACallbackStopsTheWalk) {
  writeFile(processPaths().clientTypesXml,
            "<UPNP_CLIENTTYPES><CLIENTTYPE SHORT_NAME=\"a\"/><CLIENTTYPE SHORT_NAME=\"b\"/>"
            "</UPNP_CLIENTTYPES>");
  Walk walk = readCatalogue(1);
  EXPECT_EQ(walk.status, 0);
  EXPECT_EQ(walk.types.size(), 1u);
}

TEST_F(ClientTypes, AnUnreadableCatalogueGivesOneAndNoCallback) {
  for (const char* content : {static_cast<const char*>(nullptr), "<UPNP_CLIENTTYPES>",
                              "<OTHER><CLIENTTYPE SHORT_NAME=\"a\"/></OTHER>"}) {
    SetUp();
    if (content != nullptr) writeFile(processPaths().clientTypesXml, content);
    Walk walk = readCatalogue();
    EXPECT_EQ(walk.status, 1);
    EXPECT_TRUE(walk.types.empty());
  }
  EXPECT_EQ(Kyto_Util_ReadClientTypeSettings(nullptr, nullptr), 1);
}

}  // namespace
