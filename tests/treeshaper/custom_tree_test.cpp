// Writing custom tree files, run end to end against a private root and compared byte for byte.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "staged_root.h"

namespace kyto::test {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

const std::string kTemplate = kDeclaration +
                              "<!-- Template comment: carried into new custom files. -->\n"
                              "<TREE>\n"
                              "  <TYPE NAME=\"Music\">\n"
                              "    <!-- music attributes -->\n"
                              "    <A ID=\"0x1\" NAME=\"Album\"/>\n"
                              "    <A ID=\"0x2\" NAME=\"Artist\"/>\n"
                              "    <A NAME=\"Without id\"/>\n"
                              "    <A ID=\"0x1a\" NAME=\"Genre\"/>\n"
                              "  </TYPE>\n"
                              "  <TYPE NAME=\"Video\">\n"
                              "    <A ID=\"0x21\" NAME=\"Folder\"/>\n"
                              "    <A ID=\"0x22\" NAME=\"Date\"/>\n"
                              "  </TYPE>\n"
                              "  <TYPE NAME=\"Photo\"><A ID=\"0x41\" NAME=\"Folder\"/>"
                              "<A ID=\"0x42\" NAME=\"Year\"/></TYPE>\n"
                              "</TREE>\n";

// Pieces of the custom files written from kTemplate.
const std::string kGone = "    \n";  // the indentation a removed attribute leaves behind
const std::string kAlbum = "    <A ID=\"0x1\" NAME=\"Album\"/>\n";
const std::string kArtist = "    <A ID=\"0x2\" NAME=\"Artist\"/>\n";
const std::string kWithoutId = "    <A NAME=\"Without id\"/>\n";
const std::string kGenre = "    <A ID=\"0x1a\" NAME=\"Genre\"/>\n";
const std::string kFolder = "    <A ID=\"0x21\" NAME=\"Folder\"/>\n";
const std::string kDate = "    <A ID=\"0x22\" NAME=\"Date\"/>\n";
const std::string kPhoto =
    "  <TYPE NAME=\"Photo\"><A ID=\"0x41\" NAME=\"Folder\"/><A ID=\"0x42\" "
    "NAME=\"Year\"/></TYPE>\n";

std::string music(const std::string& lines) {
  return "  <TYPE NAME=\"Music\">\n    <!-- music attributes -->\n" + lines + "  </TYPE>\n";
}
std::string video(const std::string& lines) {
  return "  <TYPE NAME=\"Video\">\n" + lines + "  </TYPE>\n";
}
// A new custom file is the template document itself: its comment stays.
std::string customFile(const std::string& sections) {
  return kDeclaration + "<!-- Template comment: carried into new custom files. -->\n<TREE>\n" +
         sections + "</TREE>\n";
}

ino_t inodeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_ino;
}

class CustomTree : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(tree.templatePath(), kTemplate); }

  // Runs the add command, expecting the exit status; the custom file goes to the tree directory
  // unless the name is absolute.
  // Returns what it printed on standard output; lastErrors keeps what went to standard error.
  std::string add(const std::string& type, std::vector<std::string> ids, const std::string& file,
                  int status = 0) {
    std::vector<std::string> args = {"treeshaper", "--add", type};
    args.insert(args.end(), ids.begin(), ids.end());
    args.insert(args.end(), {"--output", file});
    const ProgramResult result = tree.run(args);
    EXPECT_EQ(result.exitStatus, status) << "stdout: " << result.out << "stderr: " << result.err;
    lastErrors = result.err;
    return result.out;
  }

  std::string custom() const { return readFile(tree.treeFile("custom.xml")); }

  StagedRoot tree;
  std::string lastErrors;
};

TEST_F(CustomTree, NewFileHoldsTheWholeTemplateWithOnlyOneSectionFiltered) {
  EXPECT_EQ(add("Music", {"1", "26"}, "custom.xml"), "");
  EXPECT_EQ(custom(), customFile(music(kAlbum + kGone + kWithoutId + kGenre) +
                                 video(kFolder + kDate) + kPhoto));
  EXPECT_EQ(readFile(tree.templatePath()), kTemplate);
  EXPECT_EQ(listDir(tree.paths().treeDir),
            (std::vector<std::string>{"UPnPTree.xml", "custom.xml"}));
}

TEST_F(CustomTree, EachSectionReflectsTheLastAddForIt) {
  EXPECT_EQ(add("Music", {"1", "26"}, "custom.xml"), "");
  EXPECT_EQ(add("Video", {"34"}, "custom.xml"), "");
  EXPECT_EQ(custom(), customFile(music(kAlbum + kGone + kWithoutId + kGenre) +
                                 video(kGone + kDate) + kPhoto));
  // Rebuilt from the template: Artist, removed before, comes back.
  EXPECT_EQ(add("Music", {"2"}, "custom.xml"), "");
  EXPECT_EQ(custom(), customFile(music(kGone + kArtist + kWithoutId + kGone) +
                                 video(kGone + kDate) + kPhoto));
  EXPECT_EQ(readFile(tree.templatePath()), kTemplate);
}

TEST_F(CustomTree, WithoutIdsOnlyCommentsWhitespaceAndElementsWithoutIdStay) {
  EXPECT_EQ(add("Music", {}, "custom.xml"), "");
  EXPECT_EQ(custom(), customFile(music(kGone + kGone + kWithoutId + kGone) +
                                 video(kFolder + kDate) + kPhoto));
}

// An attribute is kept when the id --list shows for it is selected, however its ID is spelled.
TEST_F(CustomTree, IdsMatchWhatTheListingShows) {
  writeFile(
      tree.templatePath(),
      "<T><TYPE NAME=\"Music\"><A ID=\"0x0\" NAME=\"zero\"/><A ID=\"0x1a\" NAME=\"canonical\"/>"
      "<A ID=\"0x1A\" NAME=\"upper\"/><A ID=\"0x01a\" NAME=\"leading zero\"/>"
      "<A ID=\"0x0A\" NAME=\"ten\"/><A ID=\"0xffffffff\" NAME=\"all ones\"/></TYPE></T>");
  EXPECT_EQ(tree.output({"treeshaper", "--list", "Music"}),
            "0 zero\n26 canonical\n26 upper\n26 leading zero\n10 ten\n-1 all ones\n");
  const std::string zero = "<A ID=\"0x0\" NAME=\"zero\"/>";
  const std::string all26 =
      "<A ID=\"0x1a\" NAME=\"canonical\"/><A ID=\"0x1A\" NAME=\"upper\"/>"
      "<A ID=\"0x01a\" NAME=\"leading zero\"/>";
  const std::string ten = "<A ID=\"0x0A\" NAME=\"ten\"/>";
  const std::string allOnes = "<A ID=\"0xffffffff\" NAME=\"all ones\"/>";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"26"}, all26},
      {{"26abc"}, all26},
      {{"10"}, ten},
      {{"0x1a"}, zero},         // a hexadecimal id reads as 0
      {{" -1"}, allOnes},       // a leading blank lets a sign through the option check
      {{"4294967322"}, all26},  // 2^32 + 26
      {{"0", "26", " -1"}, zero + all26 + allOnes},
      {{"11", "1"}, ""},
  };
  for (const auto& [ids, kept] : cases) {
    std::filesystem::remove(tree.treeFile("custom.xml"));
    EXPECT_EQ(add("Music", ids, "custom.xml"), "");
    const std::string section =
        kept.empty() ? "<TYPE NAME=\"Music\"/>" : "<TYPE NAME=\"Music\">" + kept + "</TYPE>";
    EXPECT_EQ(custom(), kDeclaration + "<T>" + section + "</T>\n") << ids.front();
  }
}

struct Placement {
  const char* what;
  std::string templateText;
  std::vector<std::string> ids;
  std::string customBefore;  // empty: no custom file yet
  std::string customAfter;
};

TEST_F(CustomTree, FirstLastAndOnlySectionsAndAttributesAreHandledAlike) {
  const std::string ab = "<A ID=\"0x1\" NAME=\"a\"/><A ID=\"0x2\" NAME=\"b\"/>";
  const std::string a = "<A ID=\"0x1\" NAME=\"a\"/>";
  const std::string b = "<A ID=\"0x2\" NAME=\"b\"/>";
  const std::string abc = ab + "<A ID=\"0x3\" NAME=\"c\"/>";
  const std::string musicB = "<TYPE NAME=\"Music\">" + b + "</TYPE>";
  const Placement cases[] = {
      {"only section, only attribute removed",
       "<T><TYPE NAME=\"Music\">" + a + "</TYPE></T>",
       {},
       "",
       kDeclaration + "<T><TYPE NAME=\"Music\"/></T>\n"},
      {"only section, only attribute kept",
       "<T><TYPE NAME=\"Music\">" + a + "</TYPE></T>",
       {"1"},
       "",
       kDeclaration + "<T><TYPE NAME=\"Music\">" + a + "</TYPE></T>\n"},
      {"first section, first attribute removed",
       "<T><TYPE NAME=\"Music\">" + ab + "</TYPE><TYPE NAME=\"Video\"/></T>",
       {"2"},
       "",
       kDeclaration + "<T>" + musicB + "<TYPE NAME=\"Video\"/></T>\n"},
      {"last section, last attribute removed",
       "<T><TYPE NAME=\"Video\"/><TYPE NAME=\"Music\">" + ab + "</TYPE></T>",
       {"1"},
       "",
       kDeclaration + "<T><TYPE NAME=\"Video\"/><TYPE NAME=\"Music\">" + a + "</TYPE></T>\n"},
      {"middle attribute removed",
       "<T><TYPE NAME=\"Music\">" + abc + "</TYPE></T>",
       {"1", "3"},
       "",
       kDeclaration + "<T><TYPE NAME=\"Music\">" + a + "<A ID=\"0x3\" NAME=\"c\"/></TYPE></T>\n"},
      {"only section of the custom file replaced",
       "<T><TYPE NAME=\"Music\">" + ab + "</TYPE></T>",
       {"2"},
       "<C><TYPE NAME=\"Music\"/></C>\n",
       "<?xml version=\"1.0\"?>\n<C>" + musicB + "</C>\n"},
      {"first section of the custom file replaced",
       "<T><TYPE NAME=\"Music\">" + ab + "</TYPE></T>",
       {"2"},
       "<C><TYPE NAME=\"Music\">old</TYPE><X/></C>\n",
       "<?xml version=\"1.0\"?>\n<C>" + musicB + "<X/></C>\n"},
      {"last section of the custom file replaced",
       "<T><TYPE NAME=\"Music\">" + ab + "</TYPE></T>",
       {"2"},
       "<C><X/><TYPE NAME=\"Music\">old</TYPE></C>\n",
       "<?xml version=\"1.0\"?>\n<C><X/>" + musicB + "</C>\n"},
  };
  for (const Placement& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(tree.templatePath(), c.templateText);
    std::filesystem::remove(tree.treeFile("custom.xml"));
    if (!c.customBefore.empty()) writeFile(tree.treeFile("custom.xml"), c.customBefore);
    EXPECT_EQ(add("Music", c.ids, "custom.xml"), "");
    EXPECT_EQ(custom(), c.customAfter);
  }
}

TEST_F(CustomTree, TheLastTemplateSectionAndTheFirstCustomSectionOfANameAreUsed) {
  writeFile(
      tree.templatePath(),
      "<T><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"first\"/></TYPE>"
      "<TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"second\"/><A ID=\"0x2\" NAME=\"x\"/></TYPE></T>");
  EXPECT_EQ(add("Music", {"1"}, "custom.xml"), "");
  EXPECT_EQ(custom(), kDeclaration +
                          "<T><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"first\"/></TYPE>"
                          "<TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"second\"/></TYPE></T>\n");

  writeFile(tree.treeFile("custom.xml"),
            "<C><TYPE NAME=\"Music\">one</TYPE><TYPE NAME=\"Music\">two</TYPE></C>");
  EXPECT_EQ(add("Music", {"2"}, "custom.xml"), "");
  EXPECT_EQ(custom(),
            "<?xml version=\"1.0\"?>\n<C><TYPE NAME=\"Music\"><A ID=\"0x2\" NAME=\"x\"/></TYPE>"
            "<TYPE NAME=\"Music\">two</TYPE></C>\n");
}

TEST_F(CustomTree, AnExistingFileKeepsEverythingOutsideTheReplacedSection) {
  writeFile(
      tree.treeFile("custom.xml"),
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- mine -->\n<C>\n"
      "  <TYPE NAME=\"Music\"/>\n  <TYPE NAME=\"Photo\">caf\xe9</TYPE>\n</C>\n<!-- end -->\n");
  EXPECT_EQ(add("Music", {"2"}, "custom.xml"), "");
  EXPECT_EQ(custom(), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- mine -->\n<C>\n" +
                          music(kGone + kArtist + kWithoutId + kGone) +
                          "  <TYPE NAME=\"Photo\">caf\xe9</TYPE>\n</C>\n<!-- end -->\n");
}

TEST_F(CustomTree, ASectionMissingFromTheCustomFileIsAppendedToItsRoot) {
  writeFile(tree.treeFile("custom.xml"), "<C>\n  <TYPE NAME=\"Photo\"/>\n</C>\n");
  EXPECT_EQ(add("Video", {"33"}, "custom.xml"), "");
  EXPECT_EQ(custom(),
            "<?xml version=\"1.0\"?>\n<C>\n  <TYPE NAME=\"Photo\"/>\n"
            "<TYPE NAME=\"Video\">\n" +
                kFolder + kGone + "  </TYPE></C>\n");
}

// Nothing asked for is written, so the status is 1, with a message or without.
TEST_F(CustomTree, ExistingFilesThatCannotTakeTheSectionAreLeftAsTheyWere) {
  const std::string file = tree.treeFile("custom.xml");
  const std::string unparsed = "pdoc is NULL\nproot is NULL\n";
  struct Case {
    const char* what;
    std::string templateText;
    std::string customText;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"custom root without children", kTemplate, "<C/>", "", ""},
      {"custom root without children, long form", kTemplate, "<C></C>\n", "", ""},
      {"template without the section", "<T><TYPE NAME=\"Video\"/></T>",
       "<C><TYPE NAME=\"Music\">mine</TYPE></C>\n", "", ""},
      {"custom file not well-formed", kTemplate, "<C><TYPE NAME=\"Music\">", unparsed,
       file + ":1: Premature end of data in tag TYPE line 1\n"},
      {"custom file empty", kTemplate, "", unparsed, file + ":1: Document is empty\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(tree.templatePath(), c.templateText);
    writeFile(tree.treeFile("custom.xml"), c.customText);
    const ino_t before = inodeOf(tree.treeFile("custom.xml"));
    EXPECT_EQ(add("Music", {"1"}, "custom.xml", 1), c.out);
    EXPECT_EQ(lastErrors, c.err);
    EXPECT_EQ(custom(), c.customText);
    EXPECT_EQ(inodeOf(tree.treeFile("custom.xml")), before);  // not even rewritten
  }
}

TEST_F(CustomTree, ANewFileFromATemplateWithoutTheSectionIsTheWholeTemplate) {
  writeFile(tree.templatePath(),
            "<?xml version=\"1.0\"?>\n<T>\n  <TYPE NAME=\"Video\"><A ID=\"0x1\"/></TYPE>\n</T>");
  EXPECT_EQ(add("Music", {}, "custom.xml"), "");
  EXPECT_EQ(custom(), kDeclaration + "<T>\n  <TYPE NAME=\"Video\"><A ID=\"0x1\"/></TYPE>\n</T>\n");
}

// A new file is the template document itself: its DTD and the markup of its root stay as written.
TEST_F(CustomTree, ANewFileKeepsTheMarkupOfTheTemplateRootAsWritten) {
  writeFile(tree.templatePath(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE TREE [\n  <!ENTITY brand \"Kyto\">\n]>\n"
            "<TREE xmlns:k=\"urn:kyto:tree\" xml:lang=\"en\">\n"
            "  <TYPE NAME=\"Music\" k:order=\"1\">\n"
            "    <A ID=\"0x1\" NAME=\"Album &amp; disc\" xml:lang=\"de\"/>\n"
            "    <A ID=\"0x2\" NAME=\"&brand; artist\">&brand; text <![CDATA[raw <cdata>]]></A>\n"
            "    <k:A ID=\"0x3\" NAME=\"Namespaced\"/>\n"
            "    <?pi target?>\n"
            "    <A ID=\"0x4\" NAME=\"Gone\">caf\xc3\xa9</A>\n"
            "  </TYPE>\n"
            "  <TYPE NAME=\"Video\"><A ID=\"0x21\" NAME=\"&brand;\" xml:space=\"preserve\"> x "
            "\xc3\xa9</A></TYPE>\n"
            "</TREE>\n");
  EXPECT_EQ(add("Music", {"1", "2", "3"}, "custom.xml"), "");
  EXPECT_EQ(
      custom(),
      kDeclaration + "<!DOCTYPE TREE [\n<!ENTITY brand \"Kyto\">\n]>\n" +
          "<TREE xmlns:k=\"urn:kyto:tree\" xml:lang=\"en\">\n"
          "  <TYPE NAME=\"Music\" k:order=\"1\">\n"
          "    <A ID=\"0x1\" NAME=\"Album &amp; disc\" xml:lang=\"de\"/>\n"
          "    <A ID=\"0x2\" NAME=\"&brand; artist\">&brand; text <![CDATA[raw <cdata>]]></A>\n"
          "    <k:A ID=\"0x3\" NAME=\"Namespaced\"/>\n"
          "    <?pi target?>\n" +
          kGone +
          "  </TYPE>\n"
          "  <TYPE NAME=\"Video\"><A ID=\"0x21\" NAME=\"&brand;\" xml:space=\"preserve\"> "
          "x \xc3\xa9</A></TYPE>\n"
          "</TREE>\n");
}

// A template saved in Latin-1 gives a new file declared and written as UTF-8, whose names read
// back as the template's list.
TEST_F(CustomTree, ANewFileIsUtf8WhateverTheTemplatesEncoding) {
  writeFile(tree.templatePath(),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<T><TYPE NAME=\"Music\">"
            "<A ID=\"0x1\" NAME=\"K\xfcnstler\"/><A ID=\"0x2\" NAME=\"Caf\xe9\"/></TYPE></T>\n");
  EXPECT_EQ(add("Music", {"1", "2"}, "custom.xml"), "");
  EXPECT_EQ(custom(), kDeclaration +
                          "<T><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"K\xc3\xbcnstler\"/>"
                          "<A ID=\"0x2\" NAME=\"Caf\xc3\xa9\"/></TYPE></T>\n");
  EXPECT_EQ(tree.output({"treeshaper", "--read", "custom.xml", "Music"}),
            tree.output({"treeshaper", "--list", "Music"}));
}

// The DTD comes along, so the entities the texts use stay defined and the file parses again.
TEST_F(CustomTree, ANewFileFromATemplateWithEntitiesParses) {
  writeFile(
      tree.templatePath(),
      "<?xml version=\"1.0\"?>\n<!DOCTYPE UPNP_TREE [<!ENTITY brand \"Kyto\">]>\n<UPNP_TREE>"
      "<TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"All &brand; Music\"/><A ID=\"0x2\" NAME=\"x\"/>"
      "</TYPE><TYPE NAME=\"Video\"><A ID=\"0x21\" NAME=\"&brand; Video\"/></TYPE></UPNP_TREE>\n");
  EXPECT_EQ(add("Music", {"1"}, "custom.xml"), "");
  EXPECT_EQ(tree.output({"treeshaper", "--read", "custom.xml", "Music"}), "1 All Kyto Music\n");
  EXPECT_EQ(add("Video", {"33"}, "custom.xml"), "");
  EXPECT_EQ(tree.output({"treeshaper", "--read", "custom.xml", "Video"}), "33 Kyto Video\n");
}

// Adds to one file take turns: each section ends as the last add given for it.
TEST_F(CustomTree, ParallelAddsToOneFileLoseNoSection) {
  struct Add {
    const char* type;
    const char* id;
    const char* listed;
  };
  const Add adds[] = {
      {"Music", "26", "26 Genre\n"}, {"Video", "34", "34 Date\n"}, {"Photo", "66", "66 Year\n"}};
  for (int round = 0; round < 10; ++round) {
    std::filesystem::remove(tree.treeFile("custom.xml"));
    std::vector<std::thread> writers;
    // Each thread runs its own program and checks its own result: add() keeps the last errors in
    // the fixture, which threads must not share.
    for (const Add& a : adds)
      writers.emplace_back([&] {
        const ProgramResult result =
            tree.run({"treeshaper", "--add", a.type, a.id, "--output", "custom.xml"});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
      });
    for (std::thread& writer : writers) writer.join();
    for (const Add& a : adds)
      EXPECT_EQ(tree.output({"treeshaper", "--read", "custom.xml", a.type}), a.listed)
          << "round " << round;
  }
}

// A chain of links that the kernel gives up on is refused, not followed link by link.
TEST_F(CustomTree, ALinkChainTheKernelCannotResolveIsRefused) {
  const std::string dir = tree.path() + "/";
  std::string d;
  for (int i = 0; i < 20; ++i) d += "d/";
  ASSERT_EQ(symlink(".", (dir + "d").c_str()), 0);
  ASSERT_EQ(symlink((d + "l1").c_str(), (dir + "x.xml").c_str()), 0);
  ASSERT_EQ(symlink((d + "l2").c_str(), (dir + "l1").c_str()), 0);
  ASSERT_EQ(symlink(tree.templatePath().c_str(), (dir + "l2").c_str()), 0);
  EXPECT_EQ(add("Music", {"1"}, dir + "x.xml", 1), "write xml to file failed\n");
  EXPECT_EQ(readFile(tree.templatePath()), kTemplate);
}

TEST_F(CustomTree, WithoutAUsableTemplateNothingIsWritten) {
  const std::string file = tree.templatePath();
  const std::pair<const char*, const char*> cases[] = {
      {"<T><TYPE NAME=\"Music\">", ":1: Premature end of data in tag TYPE line 1\n"},
      {"", ":1: Document is empty\n"},
  };
  for (const auto& [text, report] : cases) {
    writeFile(tree.templatePath(), text);
    EXPECT_EQ(add("Music", {"1"}, "custom.xml", 1), "pdoc is NULL\n") << text;
    EXPECT_EQ(lastErrors, file + report) << text;
  }
  std::filesystem::remove(file);
  EXPECT_EQ(add("Music", {"1"}, "custom.xml", 1), "pdoc is NULL\n");
  EXPECT_EQ(lastErrors, file + ": No such file or directory\n");
  EXPECT_TRUE(listDir(tree.paths().treeDir).empty());
}

TEST_F(CustomTree, AnAbsoluteOutputNameIsWrittenAtThatPath) {
  const std::string path = tree.path() + "/custom.xml";
  EXPECT_EQ(add("Video", {"34"}, path), "");
  EXPECT_EQ(readFile(path), customFile(music(kAlbum + kArtist + kWithoutId + kGenre) +
                                       video(kGone + kDate) + kPhoto));
  EXPECT_EQ(listDir(tree.paths().treeDir), std::vector<std::string>{"UPnPTree.xml"});
}

TEST_F(CustomTree, TheTemplateIsNeverOverwritten) {
  ASSERT_EQ(symlink(tree.templatePath().c_str(), tree.treeFile("link.xml").c_str()), 0);
  ASSERT_EQ(link(tree.templatePath().c_str(), (tree.path() + "/hard.xml").c_str()), 0);
  const std::string names[] = {"UPnPTree.xml", tree.templatePath(),
                               tree.path() + "/usr//local/corpus/bin/./UPnPTree.xml", "link.xml",
                               tree.path() + "/hard.xml"};
  const ino_t templateInode = inodeOf(tree.templatePath());
  for (const std::string& name : names) {
    EXPECT_EQ(add("Music", {"1"}, name, 1), "") << name;
    EXPECT_EQ(lastErrors, "output file can not be the template file\n") << name;
    EXPECT_EQ(readFile(tree.templatePath()), kTemplate) << name;
    EXPECT_EQ(inodeOf(tree.templatePath()), templateInode) << name;
  }
  EXPECT_EQ(listDir(tree.paths().treeDir), (std::vector<std::string>{"UPnPTree.xml", "link.xml"}));
}

TEST_F(CustomTree, AFailedSaveIsReportedAndWritesNothing) {
  writeFile(tree.treeFile("plain"), "a regular file");
  EXPECT_EQ(add("Music", {"1"}, "plain/custom.xml", 1), "write xml to file failed\n");
  EXPECT_EQ(add("Music", {"1"}, "missing/custom.xml", 1), "write xml to file failed\n");
  EXPECT_EQ(listDir(tree.paths().treeDir), (std::vector<std::string>{"UPnPTree.xml", "plain"}));
}

TEST_F(CustomTree, AFailedSaveLeavesTheExistingFileIntact) {
  // Long names make the new file larger than the file size limit set below.
  const std::string longName(600, 'n');
  std::string attributes;
  for (const char* id : {"0x1", "0x2", "0x3"}) {
    attributes += "    <A ID=\"" + std::string(id) + "\" NAME=\"" + longName + "\"/>\n";
  }
  writeFile(tree.templatePath(),
            "<T>\n  <TYPE NAME=\"Music\">\n" + attributes + "  </TYPE>\n</T>\n");
  const std::string old = "<C><TYPE NAME=\"Music\">old</TYPE></C>\n";
  writeFile(tree.treeFile("custom.xml"), old);

  // Root ignores permissions, but not a file size limit; the child inherits it and the ignored
  // signal, so its write fails with EFBIG.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string out = add("Music", {"1", "2", "3"}, "custom.xml", 1);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(out, "write xml to file failed\n");
  EXPECT_EQ(custom(), old);
  EXPECT_EQ(listDir(tree.paths().treeDir),
            (std::vector<std::string>{"UPnPTree.xml", "custom.xml"}));
}

}  // namespace
}  // namespace kyto::test
