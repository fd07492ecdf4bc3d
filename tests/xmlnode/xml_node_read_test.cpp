#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "test_support.h"
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
                 true, "x"},
        OpenCase{"internalEntities", "<!DOCTYPE a [<!ENTITY i \"2\">]><a id=\"1&i;\"/>", "a", true,
                 "12"},
        OpenCase{"attributeDefault", "<!DOCTYPE a [<!ATTLIST a id CDATA \"d\">]><a/>", "a", true,
                 "d"}),
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
  std::string laughs = "<!DOCTYPE b [<!ENTITY a0 \"" + std::string(100, 'x') + "\">";
  for (int i = 1; i < 8; ++i)
    laughs += "<!ENTITY a" + std::to_string(i) + " \"" + [&] {
      std::string ten;
      for (int j = 0; j < 10; ++j) ten += "&a" + std::to_string(i - 1) + ";";
      return ten;
    }() + "\">";
  laughs += "]><b>&a7;</b>";
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
      {"undefined entity", "<b>&u;</b>", XMLNode::kFileMalformed},
      {"malformed declaration", "<!DOCTYPE b [<!ELEMENT b (x|)>]><b/>", XMLNode::kFileMalformed},
      {"recursive entity", "<!DOCTYPE b [<!ENTITY e \"&e;\">]><b>&e;</b>", XMLNode::kFileMalformed},
      {"entity that breaks the content", "<!DOCTYPE b [<!ENTITY e \"<c>\">]><b>&e;</c></b>",
       XMLNode::kFileMalformed},
      {"external subset", "<!DOCTYPE b SYSTEM \"b.dtd\"><b/>", XMLNode::kFileBeyondLimits},
      {"internal parameter entity", "<!DOCTYPE b [<!ENTITY % p \"\"> %p;]><b/>",
       XMLNode::kFileParsed},
      {"external parameter entity", "<!DOCTYPE b [<!ENTITY % p SYSTEM \"p\"> %p;]><b/>",
       XMLNode::kFileBeyondLimits},
      {"external subset, standalone",
       "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE b SYSTEM \"b.dtd\"><b/>",
       XMLNode::kFileParsed},
      {"external parameter entity, standalone",
       "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE b [<!ENTITY % p SYSTEM \"p\"> "
       "%p;]><b/>",
       XMLNode::kFileParsed},
      {"entities that expand a thousandfold", laughs, XMLNode::kFileBeyondLimits},
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
       {std::pair{kyto::xml::kMostXmlFileBytes, XMLNode::kFileMalformed},
        std::pair{kyto::xml::kMostXmlFileBytes + 1, XMLNode::kFileBeyondLimits}}) {
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
      {path, path + ":2: mismatched tag"},
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
      "<e empty=\"\" refs=\"a&amp;b&#9;&lt;&#xE9;\" ent=\"1&ent;2\" utf=\"\xC3\xA9\" "
      "breaks=\"a\tb\nc\"/>",
      "e");
  EXPECT_EQ(e.getAttribute("absent"), nullptr);
  EXPECT_STREQ(e.getAttribute("empty"), "");
  EXPECT_STREQ(e.getAttribute("refs"), "a&b\t<\xC3\xA9");
  EXPECT_STREQ(e.getAttribute("utf"), "\xC3\xA9");
  EXPECT_STREQ(e.getAttribute("ent"), "1x2");
  EXPECT_STREQ(e.getAttribute("breaks"), "a b c");
}

// Every encoding is read into the same UTF-8 texts: expat's own, and the others converted.
TEST(Encodings, GiveTheSameTexts) {
  using namespace std::string_literals;
  const auto wide = [](const std::string& text, int width, bool big) {
    std::string out;
    for (const char c : text) {
      std::string unit(static_cast<std::size_t>(width), '\0');
      unit[big ? unit.size() - 1 : 0] = c;
      out += unit;
    }
    return out;
  };
  const std::string ascii = "<r v=\"x\"/>";
  std::string tscii = "<?xml version=\"1.0\" encoding=\"TSCII\"?><r v=\"";
  std::string tsciiValue;
  for (int i = 0; i < 50; ++i) {
    tscii += '\x82';
    tsciiValue += "\xE0\xAE\xB8\xE0\xAF\x8D\xE0\xAE\xB0\xE0\xAF\x80";
  }
  tscii += "\"/>";
  const struct {
    const char* name;
    std::string bytes;
    const char* value;  // null: not read
    int error;
  } cases[] = {
      {"UTF-8 with a byte order mark", "\xEF\xBB\xBF" + ascii, "x", XMLNode::kFileParsed},
      {"UTF-16LE with a byte order mark", "\xFF\xFE"s + wide(ascii, 2, false), "x",
       XMLNode::kFileParsed},
      {"UTF-16BE without", wide(ascii, 2, true), "x", XMLNode::kFileParsed},
      {"UTF-32LE with a byte order mark", "\xFF\xFE\0\0"s + wide(ascii, 4, false), "x",
       XMLNode::kFileParsed},
      {"UTF-32BE without", wide(ascii, 4, true), "x", XMLNode::kFileParsed},
      {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r v=\"\xE9\"/>", "\xC3\xA9",
       XMLNode::kFileParsed},
      {"ISO-8859-15", "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><r v=\"\xA4\"/>",
       "\xE2\x82\xAC", XMLNode::kFileParsed},
      {"Shift_JIS", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r v=\"\x93\xFA\"/>",
       "\xE6\x97\xA5", XMLNode::kFileParsed},
      {"GB18030 of four bytes",
       "<?xml version=\"1.0\" encoding=\"GB18030\"?><r v=\"\x81\x30\x81\x30\"/>", "\xC2\x80",
       XMLNode::kFileParsed},
      {"TSCII, twelve bytes of UTF-8 from one", tscii, tsciiValue.c_str(), XMLNode::kFileParsed},
      {"bytes of no character", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r v=\"\xFF\xFF\"/>",
       nullptr, XMLNode::kFileMalformed},
      {"invalid UTF-8", "<r v=\"\xC3\"/>", nullptr, XMLNode::kFileMalformed},
      {"an encoding nobody knows", "<?xml version=\"1.0\" encoding=\"X-NONE\"?><r/>", nullptr,
       XMLNode::kFileBeyondLimits},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(dir / "f.xml", c.bytes);
    int error = -1;
    const XMLNode r = XMLNode::openFileHelper((dir / "f.xml").c_str(), &error, "r");
    EXPECT_EQ(error, c.error);
    if (c.value != nullptr) {
      EXPECT_STREQ(r.getAttribute("v"), c.value);
    }
  }
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
  EXPECT_STREQ(r.getChildNode("a").nextSibling().getAttribute("id"), "b0");
  EXPECT_STREQ(r.getChildNode("a").nextSibling("a").getAttribute("id"), "a1");
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
