#include "cli/client_type_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "staged_root.h"

namespace kyto::clientadm {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;  // "-" stands for no full name

Entries entriesOf(const ClientTypeRegistry& registry) {
  Entries entries;
  for (const auto* entry = registry.head(); entry != nullptr; entry = entry->next)
    entries.emplace_back(entry->shortName, entry->fullName.value_or("-"));
  return entries;
}

int registerType(ClientTypeRegistry& registry, const char* shortName, const char* fullName) {
  return registerClientType(&registry, shortName, fullName, 0, 0, nullptr, 0, 0, 0, nullptr);
}

std::string catalogue(const std::vector<std::string>& clientTypes) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTTYPES>\n";
  for (const auto& attributes : clientTypes) xml += "  <CLIENTTYPE " + attributes + "/>\n";
  return xml + "</UPNP_CLIENTTYPES>\n";
}

const std::pair<std::string, std::string> kDefault{"StandardDLNA150", "Generic DLNA 1.5"};

TEST(ClientTypeRegistry, RegistersInOrderAndKeepsFirstFullName) {
  ClientTypeRegistry registry;
  EXPECT_EQ(registerType(registry, "TvA", "Television A"), 0);
  EXPECT_EQ(registerType(registry, "Box", nullptr), 0);
  EXPECT_EQ(registerType(registry, "TvA", "Other name"), 0);
  EXPECT_EQ(registerType(registry, "tva", "Lower case"), 0);
  EXPECT_EQ(entriesOf(registry),
            (Entries{{"TvA", "Television A"}, {"Box", "-"}, {"tva", "Lower case"}}));
  ASSERT_NE(registry.find("Box"), nullptr);
  EXPECT_EQ(registry.find("Box")->shortName, "Box");
  EXPECT_EQ(registry.find("box"), nullptr);
  EXPECT_EQ(registry.find("TvA "), nullptr);
}

TEST(ClientTypeRegistry, EntryWithoutShortNameStopsRegistration) {
  ClientTypeRegistry registry;
  EXPECT_EQ(registerType(registry, nullptr, "No name"), 1);
  EXPECT_EQ(registerType(registry, "", "Empty name"), 1);
  EXPECT_EQ(registry.head(), nullptr);
}

TEST(ClientTypeRegistry, NameAtCountsFromHead) {
  ClientTypeRegistry registry;
  EXPECT_EQ(registry.nameAt(0), nullptr);
  registerType(registry, "A", "a");
  registerType(registry, "B", "b");
  EXPECT_STREQ(registry.nameAt(0), "A");
  EXPECT_STREQ(registry.nameAt(1), "B");
  EXPECT_EQ(registry.nameAt(2), nullptr);
  EXPECT_EQ(registry.nameAt(-1), nullptr);
}

TEST(ClientTypeRegistry, CustomTypeNames) {
  EXPECT_TRUE(isCustomClientType("CUST0123456789ab"));
  EXPECT_TRUE(isCustomClientType("CUSTzzzzzzzzzzzz"));
  EXPECT_FALSE(isCustomClientType("cust0123456789ab"));
  EXPECT_FALSE(isCustomClientType("CUST0123"));
  EXPECT_FALSE(isCustomClientType("CUST0123456789abc"));
  EXPECT_FALSE(isCustomClientType("XCUST0123456789a"));
}

struct CatalogueCase {
  const char* name;
  std::vector<std::string> clientTypes;  // attributes of each CLIENTTYPE; empty: no file at all
  Entries expected;
};

void PrintTo(const CatalogueCase& c, std::ostream* os) {
  *os << c.name;
}

class CatalogueLoad : public ::testing::TestWithParam<CatalogueCase> {};

TEST_P(CatalogueLoad, FillsRegistryThroughLibrary) {
  const CatalogueCase& c = GetParam();
  if (c.clientTypes.empty()) {
    test::processRoot();
    std::filesystem::remove(test::processPaths().clientTypesXml);
  } else {
    kyto::test::writeFile(test::processPaths().clientTypesXml, catalogue(c.clientTypes));
  }
  ClientTypeRegistry registry;
  EXPECT_EQ(loadClientTypeRegistry(registry), 0);
  EXPECT_EQ(entriesOf(registry), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogues, CatalogueLoad,
    ::testing::Values(
        CatalogueCase{"NoCatalogue", {}, {kDefault}},
        CatalogueCase{"DefaultAppended",
                      {R"(SHORT_NAME="TvA" FULL_NAME="Television A" FLAG="DLNA")",
                       R"(SHORT_NAME="Box" FULL_NAME="Set-top box")"},
                      {{"TvA", "Television A"}, {"Box", "Set-top box"}, kDefault}},
        CatalogueCase{
            "DefaultKeptInPlace",
            {R"(SHORT_NAME="TvA" FULL_NAME="Television A")",
             R"(SHORT_NAME="StandardDLNA150" FULL_NAME="Plain DLNA")",
             R"(SHORT_NAME="Box" FULL_NAME="Set-top box")"},
            {{"TvA", "Television A"}, {"StandardDLNA150", "Plain DLNA"}, {"Box", "Set-top box"}}},
        CatalogueCase{"DefaultOtherCaseIsAnotherType",
                      {R"(SHORT_NAME="standarddlna150" FULL_NAME="Lower")"},
                      {{"standarddlna150", "Lower"}, kDefault}},
        CatalogueCase{
            "DuplicateKeepsFirst",
            {R"(SHORT_NAME="TvA" FULL_NAME="First")", R"(SHORT_NAME="TvA" FULL_NAME="Second")"},
            {{"TvA", "First"}, kDefault}},
        CatalogueCase{"NoFullName", {R"(SHORT_NAME="Box")"}, {{"Box", "-"}, kDefault}},
        CatalogueCase{"EmptyShortNameStops",
                      {R"(SHORT_NAME="A" FULL_NAME="a")", R"(SHORT_NAME="B" FULL_NAME="b")",
                       R"(SHORT_NAME="" FULL_NAME="c")", R"(SHORT_NAME="D" FULL_NAME="d")"},
                      {{"A", "a"}, {"B", "b"}, kDefault}},
        CatalogueCase{"MissingShortNameStops",
                      {R"(SHORT_NAME="A" FULL_NAME="a")", R"(FULL_NAME="b")",
                       R"(SHORT_NAME="StandardDLNA150" FULL_NAME="late")"},
                      {{"A", "a"}, kDefault}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClientTypeRegistry, MalformedCatalogueLeavesDefaultOnly) {
  kyto::test::writeFile(test::processPaths().clientTypesXml,
                        "<UPNP_CLIENTTYPES><CLIENTTYPE SHORT_NAME=\"A\"");
  ClientTypeRegistry registry;
  EXPECT_EQ(loadClientTypeRegistry(registry), 0);
  EXPECT_EQ(entriesOf(registry), Entries{kDefault});
}

TEST(CustomClientType, AppendsOnceWithItsNameAsFullName) {
  ClientTypeRegistry registry;
  registerType(registry, "CUSTfromcatalog1", "Catalogue custom");
  for (const char* type : {"CUST0123456789AB", "CUST0123456789AB", "CUST0123", "cust0123456789ab",
                           "CUSTfromcatalog1", static_cast<const char*>(nullptr)})
    registerCustomClientType(registry, type);
  EXPECT_EQ(entriesOf(registry), (Entries{{"CUSTfromcatalog1", "Catalogue custom"},
                                          {"CUST0123456789AB", "CUST0123456789AB"}}));
}

}  // namespace
}  // namespace kyto::clientadm
