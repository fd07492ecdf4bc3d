#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "test_support.h"
#include "xml_node.h"

namespace {

using kyto::test::listDir;
using kyto::test::readFile;
using kyto::test::TempDir;
using kyto::test::writeFile;

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(Write, NewDocumentHasTheDeclarationAndOneElementPerLine) {
  TempDir dir;
  XMLNode top = XMLNode::createXMLTopNode("xml", true);
  top.addAttribute("version", "1.0");
  top.addAttribute("encoding", "UTF-8");
  XMLNode list = top.addChild("LIST");
  XMLNode item = list.addChild("ITEM");
  item.addAttribute("A", "1");
  item.addAttribute("B", "2");
  list.addChild("ITEM").addChild("SUB");
  ASSERT_EQ(top.writeToFile((dir / "out.xml").c_str()), 0);
  EXPECT_EQ(readFile(dir / "out.xml"), std::string(kDeclaration) +
                                           "<LIST>\n"
                                           "  <ITEM A=\"1\" B=\"2\"/>\n"
                                           "  <ITEM><SUB/></ITEM>\n"
                                           "</LIST>\n");
}

// Below the root's children every node is written as it was read, white space included, so that
// the entries a change leaves keep their meaning for any reader: entities come out expanded (a CR
// that one puts in a CDATA section as a reference again), the document type stays (with the
// defaults it gives), and a reference to an external entity stays as written.
TEST(Write, KeepsWhatItDoesNotChangeAsItWasRead) {
  const std::string doctype =
      "<!DOCTYPE L [\n<!ENTITY mac \"00:11\">\n<!ENTITY ext SYSTEM \"x.txt\">\n"
      "<!ATTLIST I deny CDATA \"1\">\n<!-- c -->\n<!ENTITY cr \"<![CDATA[a&#13;b]]>\">\n]>";
  XMLNode::FileReport report;
  XMLNode top = XMLNode::parseDocument(
      "<?xml version=\"1.0\" standalone=\"yes\"?>\n<!--first-->\n" + doctype +
          "\n<L>\n\t<I id=\"&mac;\"/>\n<I id=\"gone\"/>"
          "<NOTE a=\"x&#10;y\">Room <b>1</b> <i>east</i> &amp; &ext;<![CDATA[<&>]]>&cr;\n  <deep>"
          "<?pi data?></deep></NOTE>\n</L>\n<!--last-->",
      report);
  ASSERT_EQ(report.error, XMLNode::kFileParsed) << report.problem;
  top.getChildNode("L").getChildNode("I", 1).deleteNodeContent();
  EXPECT_EQ(top.createXMLString(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!--first-->\n" +
                doctype +
                "\n<L>\n  <I id=\"00:11\"/>\n"
                "  <NOTE a=\"x&#10;y\">Room <b>1</b> <i>east</i> &amp; &ext;<![CDATA[<&>]]>"
                "<![CDATA[a]]>&#13;<![CDATA[b]]>\n  "
                "<deep><?pi data?></deep></NOTE>\n</L>\n<!--last-->\n");
}

// However deep the content, every byte is written once: a million levels write in moments.
TEST(Write, DeepContentIsNotIndentedByItsDepth) {
  constexpr int kDepth = 1'000'000;
  std::string deep = "<L><I>";
  for (int i = 0; i < kDepth; ++i) deep += "<n>";
  deep += "x";
  for (int i = 0; i < kDepth; ++i) deep += "</n>";
  deep += "</I></L>";
  XMLNode::FileReport report;
  const XMLNode top = XMLNode::parseDocument(deep, report);
  ASSERT_EQ(report.error, XMLNode::kFileParsed);
  const std::string written = top.createXMLString();
  EXPECT_TRUE(written ==
              std::string(kDeclaration) + "<L>\n  " + deep.substr(3, deep.size() - 7) + "\n</L>\n");
}

TEST(Write, ParsedIndentationIsRewrittenCleanlyAfterAnEdit) {
  TempDir dir;
  writeFile(
      dir / "in.xml",
      "<?xml version=\"1.0\"?>\n<L>\n    <I id=\"1\"/>\n\n  <I id=\"2\"/><I id=\"3\"/>\n</L>\n");
  int error = 1;
  XMLNode top = XMLNode::openFileHelper((dir / "in.xml").c_str(), &error);
  ASSERT_EQ(error, 0);
  top.getChildNode("L").getChildNode("I", 1).deleteNodeContent();
  ASSERT_EQ(top.writeToFile((dir / "in.xml").c_str()), 0);
  EXPECT_EQ(readFile(dir / "in.xml"),
            std::string(kDeclaration) + "<L>\n  <I id=\"1\"/>\n  <I id=\"3\"/>\n</L>\n");
}

TEST(Write, AnElementIsWrittenWithADeclaration) {
  TempDir dir;
  XMLNode inner = XMLNode::parseString("<a><b x=\"\xC3\xA9\"><c/></b></a>", "b");
  ASSERT_EQ(inner.writeToFile((dir / "b.xml").c_str()), 0);
  EXPECT_EQ(readFile(dir / "b.xml"),
            std::string(kDeclaration) + "<b x=\"\xC3\xA9\">\n  <c/>\n</b>\n");
}

// An element added to a document reads back as made unless the document type gives its
// attributes a default or a type that folds white space; a rewrite keeps the document type as
// written unless parameter-entity references in it were replaced by what they stand for.
TEST(Write, DeclarationsThatChangeANewElementAreFound) {
  const struct {
    const char* doctype;
    bool declares;
    bool expanded = false;
  } cases[] = {
      {"", false},
      {"<!DOCTYPE L [<!ATTLIST I id CDATA #IMPLIED>]>", false},
      {"<!DOCTYPE L [<!ATTLIST J deny CDATA \"1\">]>", false},
      {"<!DOCTYPE L [<!ATTLIST I deny CDATA \"1\">]>", true},
      {"<!DOCTYPE L [<!ATTLIST I deny CDATA #FIXED \"1\">]>", true},
      {"<!DOCTYPE L [<!ATTLIST I user NMTOKENS #IMPLIED>]>", true},
      {"<!DOCTYPE L [<!ENTITY % d \"<!ATTLIST I deny CDATA '1'>\"> %d;]>", true, true},
      {"<!DOCTYPE L [<!ENTITY % n \"<!ENTITY e 'x'>\"><!ENTITY % s SYSTEM \"s\">]>", false},
      {"<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE L [<!ENTITY % s SYSTEM \"s\"> %s;]>",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doctype);
    XMLNode::FileReport report;
    const XMLNode top = XMLNode::parseDocument(std::string(c.doctype) + "<L><I/></L>", report);
    ASSERT_EQ(report.error, XMLNode::kFileParsed);
    EXPECT_EQ(top.declaresAttributesOf("I"), c.declares);
    EXPECT_EQ(top.documentTypeExpanded(), c.expanded);
  }
}

TEST(Write, AttributeTextRoundTripsExactly) {
  TempDir dir;
  const std::string value = "& < > \" ' \t|\n|\r| \xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80";
  XMLNode root = XMLNode::createXMLTopNode("r");
  root.addChild("c").addAttribute("v", value.c_str());
  ASSERT_EQ(root.writeToFile((dir / "t.xml").c_str()), 0);
  int error = 1;
  XMLNode read = XMLNode::openFileHelper((dir / "t.xml").c_str(), &error, "c");
  ASSERT_EQ(error, 0);
  EXPECT_EQ(read.getAttribute("v"), value);
}

// Short texts are kept inside their parsed nodes rather than in their own allocations; texts
// on both sides of that limit must read back, and survive removing and adding elements and a
// write, unchanged.
TEST(Write, ShortAndLongTextsSurviveReadingEditingAndWriting) {
  TempDir dir;
  std::vector<std::string> values;
  std::string file = "<?xml version=\"1.0\"?>\n<L>\n";
  for (std::size_t length = 0; length <= 24; ++length) {
    values.push_back(std::string(length, static_cast<char>('a' + length)));
    file += "  <I v=\"" + values.back() + "\">" + values.back() + "</I>\n";
  }
  writeFile(dir / "in.xml", file + "</L>\n");
  int error = 1;
  XMLNode top = XMLNode::openFileHelper((dir / "in.xml").c_str(), &error);
  ASSERT_EQ(error, 0);
  XMLNode list = top.getChildNode("L");
  ASSERT_EQ(list.nChildNode("I"), static_cast<int>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(list.getChildNode("I", static_cast<int>(i)).getAttribute("v"), values[i]) << i;
    const char* text = list.getChildNode("I", static_cast<int>(i)).getText(0);
    EXPECT_EQ(text != nullptr ? std::string(text) : std::string(), values[i]) << i;
  }
  for (int i = static_cast<int>(values.size()) - 1; i >= 0; i -= 2) {
    list.getChildNode("I", i).deleteNodeContent();
  }
  list.addChild("I").addAttribute("v", "short");
  ASSERT_EQ(top.writeToFile((dir / "in.xml").c_str()), 0);
  error = 1;
  XMLNode again = XMLNode::openFileHelper((dir / "in.xml").c_str(), &error, "L");
  ASSERT_EQ(error, 0);
  ASSERT_EQ(again.nChildNode("I"), static_cast<int>(values.size() / 2) + 1);
  for (std::size_t i = 1, at = 0; i < values.size(); i += 2, ++at) {
    EXPECT_EQ(again.getChildNode("I", static_cast<int>(at)).getAttribute("v"), values[i]) << i;
    EXPECT_STREQ(again.getChildNode("I", static_cast<int>(at)).getText(0), values[i].c_str()) << i;
  }
  EXPECT_STREQ(again.getChildNode("I", static_cast<int>(values.size() / 2)).getAttribute("v"),
               "short");
}

TEST(Write, KeepsTheOldModeAndGivesNewFiles0644) {
  TempDir dir;
  const mode_t oldMask = umask(077);
  XMLNode root = XMLNode::createXMLTopNode("r");
  EXPECT_EQ(root.writeToFile((dir / "new.xml").c_str()), 0);
  writeFile(dir / "old.xml", "<r/>");
  chmod((dir / "old.xml").c_str(), 0640);
  EXPECT_EQ(root.writeToFile((dir / "old.xml").c_str()), 0);
  umask(oldMask);
  EXPECT_EQ(modeOf(dir / "new.xml"), 0644u);
  EXPECT_EQ(modeOf(dir / "old.xml"), 0640u);
}

TEST(Write, ReplacesTheFileASymbolicLinkNames) {
  TempDir dir;
  writeFile(dir / "real.xml", "<old/>");
  ASSERT_EQ(symlink("real.xml", (dir / "link.xml").c_str()), 0);
  XMLNode root = XMLNode::createXMLTopNode("new");
  ASSERT_EQ(root.writeToFile((dir / "link.xml").c_str()), 0);
  struct stat st {};
  ASSERT_EQ(lstat((dir / "link.xml").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(readFile(dir / "real.xml"), std::string(kDeclaration) + "<new/>\n");
}

TEST(Write, ReadersOfTheOldFileKeepTheirCompleteCopy) {
  TempDir dir;
  const std::string path = dir / "f.xml";
  writeFile(path, "<old/>");
  FILE* reader = fopen(path.c_str(), "r");
  ASSERT_NE(reader, nullptr);
  ASSERT_EQ(XMLNode::createXMLTopNode("new").writeToFile(path.c_str()), 0);
  char seen[16] = {};
  EXPECT_EQ(fread(seen, 1, sizeof seen - 1, reader), 6u);
  fclose(reader);
  EXPECT_STREQ(seen, "<old/>");
}

TEST(WriteFailure, APathBelowAFileFailsEvenForRoot) {
  TempDir dir;
  writeFile(dir / "plain", "x");
  EXPECT_NE(XMLNode::createXMLTopNode("r").writeToFile((dir / "plain/f.xml").c_str()), 0);
  EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"plain"});
}

TEST(WriteFailure, AFullWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir / "f.xml";
  writeFile(path, "<old/>");
  // A file size limit makes the write fail whatever the privileges; run it in a child.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    XMLNode root = XMLNode::createXMLTopNode("r");
    root.addAttribute("big", std::string(200, 'x').c_str());
    _exit(root.writeToFile(path.c_str()) != 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write did not fail";
  EXPECT_EQ(readFile(path), "<old/>");
  EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"f.xml"});
}

}  // namespace
