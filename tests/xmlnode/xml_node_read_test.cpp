#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "test_support.h"
#include "xml_input.h"
#include "xml_node.h"

namespace {

using kyto::test::TempDir;
using kyto::test::writeFile;

struct OpenCase {
  const char* name;
  const char* content;  // nullptr: no file
  const char* tag;
  bool ok;
  const char* idOfResult;  // "id" attribute of the returned element, when ok and tagged
};

void PrintTo(const OpenCase& c, std::ostream* os) {
  *os << c.name;
}

class OpenFile : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenFile, ReportsByErrorWordAndPrintsNothing) {
  const OpenCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "f.xml";
  if (c.content != nullptr) writeFile(path, c.content);
  int error = -1;
  ::testing::internal::CaptureStderr();
  XMLNode node = XMLNode::openFileHelper(path.c_str(), &error, c.tag);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(error == 0, c.ok);
  EXPECT_EQ(node.isEmpty(), !c.ok);
  if (c.ok && c.idOfResult != nullptr) {
    EXPECT_STREQ(node.getAttribute("id"), c.idOfResult);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFile,
    ::testing::Values(
        OpenCase{"missing", nullptr, nullptr, false, nullptr},
        OpenCase{"empty", "", nullptr, false, nullptr},
        OpenCase{"cut", "<a><b id=\"1\"/>", "b", false, nullptr},
        OpenCase{"tagMissing", "<a/>", "b", false, nullptr},
        OpenCase{"top", "<a id=\"1\"/>", nullptr, true, nullptr},
        OpenCase{"rootIsTag", "<b id=\"1\"><b id=\"2\"/></b>", "b", true, "1"},
        OpenCase{"firstInDocumentOrder", "<a><x><b id=\"1\"/></x><b id=\"2\"/></a>", "b", true,
                 "1"},
        // External entities are neither fetched nor expanded.
        OpenCase{"externalEntity",
                 "<!DOCTYPE a [<!ENTITY e SYSTEM \"/etc/passwd\">]><a id=\"x\"><b>&e;</b></a>", "a",
                 true, "x"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenFile, ADirectoryIsUnreadable) {
  TempDir dir;
  int error = 0;
  EXPECT_TRUE(XMLNode::openFileHelper(dir.path().c_str(), &error).isEmpty());
  EXPECT_NE(error, 0);
}

// Only a file that is not well-formed is called malformed. One over the reader's size limit says
// nothing of the file, and a FIFO or device is not read at all (a FIFO without a writer would
// block). Long texts and names and deep nesting are read like any other.
TEST(OpenFile, TellsMalformedFromBeyondTheReadersLimitsAndFromUnreadable) {
  const std::string huge(10'000'001, 'x');
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<b>";
  for (int i = 0; i < 10000; ++i) deep += "</b>";
  const struct {
    const char* name;
    std::string content;
    int error;
  } cases[] = {
      {"cut", "<a><b>", XMLNode::kFileMalformed},
      {"NUL byte", std::string("<a>\0</a>", 8), XMLNode::kFileMalformed},
      {"unfinished comment", "<a><!-- x </a>", XMLNode::kFileMalformed},
      {"tag missing", "<a/>", XMLNode::kFileTagMissing},
      {"text over 10 MB", "<b>" + huge + "</b>", XMLNode::kFileParsed},
      {"attribute over 10 MB", "<b v=\"" + huge + "\"/>", XMLNode::kFileParsed},
      {"name over 50,000 bytes", "<b><" + std::string(50'001, 'n') + "/></b>",
       XMLNode::kFileParsed},
      {"nesting of 10,000", deep, XMLNode::kFileParsed},
  };
  TempDir dir;
  const std::string path = dir / "f.xml";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(path, c.content);
    int error = -1;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(XMLNode::openFileHelper(path.c_str(), &error, "b").isEmpty(),
              c.error != XMLNode::kFileParsed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(error, c.error);
  }
  // Both sides of the size limit, with files of zero bytes that cost no room.
  for (const auto& [size, error] :
       {std::pair{kyto::xmlnode::kMostXmlFileBytes, XMLNode::kFileMalformed},
        std::pair{kyto::xmlnode::kMostXmlFileBytes + 1, XMLNode::kFileBeyondLimits}}) {
    writeFile(path, "<b>");
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
    int got = -1;
    EXPECT_TRUE(XMLNode::openFileHelper(path.c_str(), &got, "b").isEmpty());
    EXPECT_EQ(got, error) << size;
  }
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& unreadable : {fifo, std::string("/dev/null")}) {
    SCOPED_TRACE(unreadable);
    int error = -1;
    EXPECT_TRUE(XMLNode::openFileHelper(unreadable.c_str(), &error).isEmpty());
    EXPECT_EQ(error, XMLNode::kFileUnreadable);
  }
}

// What is wrong with a file is one line for the caller to print, or not.
TEST(OpenFile, GivesOneLineNamingTheFileAndTheProblem) {
  TempDir dir;
  const std::string path = dir / "list.xml";
  writeFile(path, "<list>\n<item></list>");
  const std::string missing = dir / "missing.xml";
  const std::pair<std::string, std::string> cases[] = {
      {path, path + ":2: the end tag list where item ends"},
      {missing, missing + ": No such file or directory"},
  };
  for (const auto& [file, line] : cases) {
    int error = 0;
    std::string diagnostic;
    EXPECT_TRUE(XMLNode::openFileHelper(file.c_str(), &error, "list", &diagnostic).isEmpty());
    EXPECT_NE(error, 0);
    EXPECT_EQ(diagnostic, line);
  }
}

// The file is handed to the parser in the pieces it reads, not as one block.
TEST(OpenFile, AFileOfManyReadsIsParsedWhole) {
  TempDir dir;
  const std::string path = dir / "big.xml";
  std::string content = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<list>\n";
  constexpr int kItems = 20000;
  for (int i = 0; i < kItems; ++i) {
    content += "  <item id=\"" + std::to_string(i) + "\" name=\"caf\xc3\xa9 " + std::to_string(i) +
               "\"/>\n";
  }
  content += "</list>\n";
  ASSERT_GT(content.size(), 512u * 1024u);
  writeFile(path, content);
  int error = -1;
  XMLNode list = XMLNode::openFileHelper(path.c_str(), &error, "list");
  ASSERT_EQ(error, 0);
  ASSERT_EQ(list.nChildNode("item"), kItems);
  EXPECT_STREQ(list.getChildNode("item", kItems - 1).getAttribute("name"), "caf\xc3\xa9 19999");
}

TEST(ParseString, RecoversWhatACutTextHolds) {
  XMLNode root = XMLNode::parseString("<list><root><item id=\"1\"/><item id=\"2\"/><ite", "root");
  ASSERT_FALSE(root.isEmpty());
  EXPECT_EQ(root.nChildNode("item"), 2);
  EXPECT_STREQ(root.getChildNode("item", 1).getAttribute("id"), "2");
}

TEST(ParseString, GivesTheEmptyNodeWhenNothingIsFound) {
  EXPECT_TRUE(XMLNode::parseString("not xml at all", "root").isEmpty());
  EXPECT_TRUE(XMLNode::parseString("<other/>", "root").isEmpty());
  EXPECT_TRUE(XMLNode::parseString(nullptr, "root").isEmpty());
}

TEST(Attributes, DistinguishAbsentFromEmptyAndDecodeReferences) {
  XMLNode e = XMLNode::parseString(
      "<!DOCTYPE e [<!ENTITY ent \"x\">]>"
      "<e empty=\"\" refs=\"a&amp;b&#9;&lt;&#xE9;\" ent=\"1&ent;2\" utf=\"\xC3\xA9\"/>",
      "e");
  EXPECT_EQ(e.getAttribute("absent"), nullptr);
  EXPECT_STREQ(e.getAttribute("empty"), "");
  EXPECT_STREQ(e.getAttribute("refs"), "a&b\t<\xC3\xA9");
  EXPECT_STREQ(e.getAttribute("utf"), "\xC3\xA9");
  // Entities are not expanded: a reference reads as written, and stays valid with the tree.
  const char* ent = e.getAttribute("ent");
  EXPECT_STREQ(ent, "1&ent;2");
  EXPECT_STREQ(e.getAttribute("ent"), ent);
}

TEST(Text, GivesTheTextChildrenInOrder) {
  XMLNode e = XMLNode::parseString("<e>one<c>inner</c>two</e>", "e");
  EXPECT_STREQ(e.getText(0), "one");
  EXPECT_STREQ(e.getText(1), "two");
  EXPECT_EQ(e.getText(2), nullptr);
  EXPECT_EQ(e.getChildNode("c").getChildNode("none").getText(), nullptr);
}

TEST(Children, CountAndIndexOnlyDirectChildrenOfThatName) {
  XMLNode r = XMLNode::parseString(
      "<r><a id=\"a0\"><a id=\"nested\"/></a><b id=\"b0\"/><a id=\"a1\"/><!--c--><a id=\"a2\"/>"
      "</r>",
      "r");
  EXPECT_EQ(r.nChildNode("a"), 3);
  EXPECT_EQ(r.nChildNode("b"), 1);
  EXPECT_EQ(r.nChildNode("none"), 0);
  // Forward, backward and interleaved lookups must not be misled by the remembered position.
  const struct {
    const char* name;
    int index;
    const char* id;
  } steps[] = {{"a", 0, "a0"},    {"a", 2, "a2"},    {"a", 1, "a1"},
               {"b", 0, "b0"},    {"a", 1, "a1"},    {"a", 2, "a2"},
               {"a", 3, nullptr}, {"b", 1, nullptr}, {"a", -1, nullptr}};
  for (const auto& step : steps) {
    XMLNode child = r.getChildNode(step.name, step.index);
    SCOPED_TRACE(std::string(step.name) + "[" + std::to_string(step.index) + "]");
    if (step.id == nullptr) {
      EXPECT_TRUE(child.isEmpty());
    } else {
      EXPECT_STREQ(child.getAttribute("id"), step.id);
    }
  }
  // The same parent's children seen from another element are not confused with these.
  EXPECT_STREQ(r.getChildNode("a", 0).getChildNode("a", 0).getAttribute("id"), "nested");
  int position = 0;
  EXPECT_STREQ(r.getChildNode("a", &position).getAttribute("id"), "a0");
  EXPECT_STREQ(r.getChildNode("a", &position).getAttribute("id"), "a1");
  EXPECT_EQ(position, 2);
}

// A walk over one parent's children keeps its place through lookups in each child and through
// changes anywhere in the tree, as the agent's devices are read.
TEST(Children, WalksOverNestedParentsStayRight) {
  XMLNode r = XMLNode::parseString(
      "<r><d><m>0</m><m>x</m></d><skip/><d><m>1</m></d><d><n/><m>2</m></d></r>", "r");
  std::string seen;
  for (int i = 0; i < r.nChildNode("d"); ++i) {
    XMLNode d = r.getChildNode("d", i);
    seen += d.getChildNode("m").getText();
    if (i == 0) seen += d.getChildNode("m", 1).getText();
    if (i == 1) d.addChild("m");  // a change between two steps of the walk
    seen += std::to_string(d.nChildNode("m"));
  }
  EXPECT_EQ(seen,
            "0x2"
            "12"
            "21");
  EXPECT_TRUE(r.getChildNode("d", 3).isEmpty());
}

TEST(EmptyNode, AnswersEveryQueryWithNothing) {
  XMLNode empty = XMLNode::emptyXMLNode;
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(empty.nChildNode("a"), 0);
  EXPECT_TRUE(empty.getChildNode("a", 0).isEmpty());
  EXPECT_EQ(empty.getAttribute("a"), nullptr);
  EXPECT_EQ(empty.getText(), nullptr);
  EXPECT_TRUE(empty.addChild("a").isEmpty());
  EXPECT_NE(empty.writeToFile("/nonexistent/x.xml"), 0);
  empty.deleteNodeContent();
}

}  // namespace
