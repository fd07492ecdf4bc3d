// Listing the attributes of a section, run end to end against a private root.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "staged_root.h"

namespace kyto::test {
namespace {

class Listing : public ::testing::Test {
 protected:
  void SetUp() override { tree.makeTreeDir(); }

  StagedRoot tree;
};

TEST_F(Listing, PrintsIdAndNameOfEachAttributeOfTheFirstMatchingSection) {
  writeFile(tree.templatePath(),
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
            "    <A ID=\"0x1b\" NAME=\"Forged&#10;0 line&#13;&#9;x\"/>\n"
            "  </TYPE>\n"
            "  <TYPE NAME=\"Music\"><A ID=\"0x2\" NAME=\"Second Music\"/></TYPE>\n"
            "  <TYPE NAME=\"Photo\"><A ID=\"0x41\" NAME=\"Last section\"/></TYPE></TREE>\n");
  EXPECT_EQ(tree.output({"treeshaper", "--list", "Music"}),
            "1 Album\n10 Upper case\n-1 No x\n-1 Wraps\n26 Any element name\n"
            "27 Forged?0 line??x\n");  // control characters of a NAME as '?'

  EXPECT_EQ(tree.output({"treeshaper", "--list", "Photo"}), "65 Last section\n");
}

TEST_F(Listing, ReadsRelativeNamesInTheTreeDirectoryAndAbsolutePathsAsGiven) {
  const std::string custom = "<T><TYPE NAME=\"Video\"><A ID=\"0x21\" NAME=\"Folder\"/></TYPE></T>";
  writeFile(tree.treeFile("custom.xml"), custom);
  writeFile(tree.path() + "/elsewhere.xml", custom);
  EXPECT_EQ(tree.output({"treeshaper", "--read", "custom.xml", "Video"}), "33 Folder\n");
  EXPECT_EQ(tree.output({"treeshaper", "--read", tree.path() + "/elsewhere.xml", "Video"}),
            "33 Folder\n");
  const ProgramResult missing = tree.run({"treeshaper", "--read", "elsewhere.xml", "Video"});
  EXPECT_EQ(missing.out, "pdoc is NULL\nproot is NULL\n");
  EXPECT_EQ(missing.err, tree.treeFile("elsewhere.xml") + ": No such file or directory\n");
  EXPECT_EQ(missing.exitStatus, 1);
}

// Off the appliance every command fails for want of the tree directory: after the line naming
// the file, one more says how to point treeshaper at a staged root. Standard output is as ever,
// and a file of the user's own elsewhere gets no such hint.
TEST(OffTheAppliance, EveryCommandSaysHowToPointTreeshaperAtAStagedRoot) {
  StagedRoot root;  // no tree directory
  const std::string hint = "treeshaper: " + root.paths().treeDir +
                           " does not exist: on a machine that is no appliance, set KYTO_ROOT to "
                           "the root of a staged appliance (KYTO_ROOT=DIR treeshaper ...)\n";
  const std::string noFile = ": No such file or directory\n";
  const std::string elsewhere = root / "elsewhere.xml";
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } runs[] = {
      {{"--list", "Music"}, "pdoc is NULL\nproot is NULL\n", root.templatePath() + noFile + hint},
      {{"--read", "c.xml", "Music"},
       "pdoc is NULL\nproot is NULL\n",
       root.treeFile("c.xml") + noFile + hint},
      {{"--add", "Music", "1", "-o", "c.xml"},
       "pdoc is NULL\n",
       root.templatePath() + noFile + hint},
      {{"--read", elsewhere, "Music"}, "pdoc is NULL\nproot is NULL\n", elsewhere + noFile},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.args[0] + " " + run.args[1]);
    std::vector<std::string> args = run.args;
    args.insert(args.begin(), "treeshaper");
    const ProgramResult result = root.run(args);
    EXPECT_EQ(result.out, run.out);
    EXPECT_EQ(result.err, run.err);
    EXPECT_EQ(result.exitStatus, 1);
  }
}

// Status 1 with every message; libxml2's own report is one line on standard error naming the
// file, controls as '?', and so is each of its warnings for a file that still parses.
TEST_F(Listing, ReportsFilesThatLackWhatIsNeeded) {
  const std::string missing = "File did not contain the nodes we need\n";
  const std::string unparsed = "pdoc is NULL\nproot is NULL\n";
  const std::string file = tree.treeFile("case.xml");
  const std::string listed = "1 a\n";
  struct Case {
    std::string content;
    std::string out;
    std::string err;
    int status;
  };
  const Case cases[] = {
      {"<T><TYPE NAME=\"Video\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>", missing, "", 1},
      {"<T><TYPE NAME=\"music\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>", missing, "", 1},
      {"<T><TYPE NAME=\"Music\"/></T>", missing, "", 1},
      {"<T><TYPE NAME=\"Music\"></TYPE><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>",
       missing, "", 1},
      {"<T/>", missing, "", 1},
      {"<T><TYPE NAME=\"Music\">\n  </TYPE></T>", "", "", 0},  // whitespace children: empty
      {"<T><TYPE NAME=\"Music\">", unparsed,
       file + ":1: Premature end of data in tag TYPE line 1\n", 1},
      {"", unparsed, file + ":1: Document is empty\n", 1},
      {"<T>\n\x1b[2J</T>", unparsed, file + ":2: PCDATA invalid Char value 27\n", 1},
      {"<T>\n\xff</T>", unparsed,
       file + ":2: Input is not proper UTF-8, indicate encoding !?Bytes: 0xFF 0x3C 0x2F 0x54\n", 1},
      {"<?xml version=\"1.1\"?>\n<T><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>",
       listed, file + ":1: Unsupported version '1.1'\n", 0},
      {"<T xmlns:b=\"no&#9;uri\"><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"a\"/></TYPE></T>",
       listed, file + ":1: xmlns:b: 'no?uri' is not a valid URI\n", 0},
  };
  for (const Case& c : cases) {
    writeFile(file, c.content);
    const ProgramResult result = tree.run({"treeshaper", "--read", "case.xml", "Music"});
    EXPECT_EQ(result.out, c.out) << c.content;
    EXPECT_EQ(result.err, c.err) << c.content;
    EXPECT_EQ(result.exitStatus, c.status) << c.content;
  }
  const ProgramResult noTemplate = tree.run({"treeshaper", "--list", "Music"});
  EXPECT_EQ(noTemplate.out, unparsed);
  EXPECT_EQ(noTemplate.err, tree.templatePath() + ": No such file or directory\n");
}

TEST_F(Listing, TheBundledSampleTemplateLists) {
  writeFile(tree.templatePath(), readFile(KYTO_SAMPLE_TREE));
  const std::string music = tree.output({"treeshaper", "--list", "Music"});
  EXPECT_TRUE(music.starts_with("1 All Music\n2 Album\n3 Artist\n")) << music;
  EXPECT_TRUE(music.ends_with("12 Rating\n31 Artist/Album\n")) << music;
  EXPECT_TRUE(tree.output({"treeshaper", "-l", "Video"}).starts_with("33 All Video\n"));
  EXPECT_TRUE(tree.output({"treeshaper", "-l", "Photo"}).ends_with("75 Slideshows\n"));
}

}  // namespace
}  // namespace kyto::test
