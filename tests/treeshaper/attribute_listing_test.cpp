// Listing the attributes of a section, run end to end against a private root.
#include <gtest/gtest.h>

#include <string>

#include "treeshaper_root.h"

namespace kyto::test {
namespace {

class Listing : public ::testing::Test {
 protected:
  TreeshaperRoot tree;
};

TEST_F(Listing, PrintsIdAndNameOfEachAttributeOfTheFirstMatchingSection) {
  tree.writeTemplate(
      "<?xml version=\"1.0\"?>\n"
      "<TREE>\n"
      "  <!-- comment among the sections -->\n"
      "  <TYPE NAME=\"Music\">\n"
      "    <!-- comment among the attributes -->\n"
      "    <A ID=\"0x1\" NAME=\"Album\"/>\n"
      "    <A ID=\"0x0A\" NAME=\"Upper case\"/>\n"
      "    <A NAME=\"Only a name\"/>\n"
      "    <A ID=\"0x3\"/>\n"
      "    <A ID=\"12\" NAME=\"No x\"/>\n"
      "    <A ID=\"0xffffffff\" NAME=\"Wraps\"><CHILD ID=\"0x9\" NAME=\"Not listed\"/></A>\n"
      "    text\n"
      "    <Other ID=\"0x1a\" NAME=\"Any element name\"/>\n"
      "  </TYPE>\n"
      "  <TYPE NAME=\"Music\"><A ID=\"0x2\" NAME=\"Second Music\"/></TYPE>\n"
      "  <TYPE NAME=\"Photo\"><A ID=\"0x41\" NAME=\"Last section\"/></TYPE></TREE>\n");
  EXPECT_EQ(tree.output({"--list", "Music"}),
            "1 Album\n10 Upper case\n-1 No x\n-1 Wraps\n26 Any element name\n");
  EXPECT_EQ(tree.output({"--list", "Photo"}), "65 Last section\n");
}

TEST_F(Listing, ReadsRelativeNamesInTheTreeDirectoryAndAbsolutePathsAsGiven) {
  const std::string custom = "<T><TYPE NAME=\"Video\"><A ID=\"0x21\" NAME=\"Folder\"/></TYPE></T>";
  writeFile(tree.treeFile("custom.xml"), custom);
  writeFile(tree.root() + "/elsewhere.xml", custom);
  EXPECT_EQ(tree.output({"--read", "custom.xml", "Video"}), "33 Folder\n");
  EXPECT_EQ(tree.output({"--read", tree.root() + "/elsewhere.xml", "Video"}), "33 Folder\n");
  EXPECT_EQ(tree.output({"--read", "elsewhere.xml", "Video"}), "pdoc is NULL\nproot is NULL\n");
}

TEST_F(Listing, ReportsFilesThatLackWhatIsNeeded) {
  const std::string missing = "File did not contain the nodes we need\n";
  const std::pair<std::string, std::string> cases[] = {
      {"<T><TYPE NAME=\"Video\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>", missing},
      {"<T><TYPE NAME=\"music\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>", missing},
      {"<T><TYPE NAME=\"Music\"/></T>", missing},
      {"<T><TYPE NAME=\"Music\"></TYPE><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>",
       missing},
      {"<T/>", missing},
      {"<T><TYPE NAME=\"Music\">\n  </TYPE></T>", ""},  // whitespace children: an empty listing
      {"<T><TYPE NAME=\"Music\">", "pdoc is NULL\nproot is NULL\n"},
      {"", "pdoc is NULL\nproot is NULL\n"},
  };
  for (const auto& [content, expected] : cases) {
    writeFile(tree.treeFile("case.xml"), content);
    EXPECT_EQ(tree.output({"--read", "case.xml", "Music"}), expected) << content;
  }
  EXPECT_EQ(tree.output({"--list", "Music"}), "pdoc is NULL\nproot is NULL\n");  // no template
}

TEST_F(Listing, TheBundledSampleTemplateLists) {
  writeFile(tree.templatePath(), readFile(KYTO_SAMPLE_TREE));
  const std::string music = tree.output({"--list", "Music"});
  EXPECT_TRUE(music.starts_with("1 All Music\n2 Album\n3 Artist\n")) << music;
  EXPECT_TRUE(music.ends_with("12 Rating\n31 Artist/Album\n")) << music;
  EXPECT_TRUE(tree.output({"-l", "Video"}).starts_with("33 All Video\n"));
  EXPECT_TRUE(tree.output({"-l", "Photo"}).ends_with("75 Slideshows\n"));
}

}  // namespace
}  // namespace kyto::test
