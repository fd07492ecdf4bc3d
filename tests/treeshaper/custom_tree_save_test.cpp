#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <sys/stat.h>
#include <unistd.h>

#include "custom_tree.h"
#include "libxml2_parse.h"
#include "test_support.h"

namespace kyto::treeshaper {
namespace {

using test::listDir;
using test::readFile;
using test::TempDir;
using test::writeFile;

xml::XmlDocHandle parse(const std::string& path) {
  return xml::XmlDocHandle(xmlParseFile(path.c_str()));
}

bool saveAt(xmlDoc* doc, const std::string& path) {
  WriteTarget target;
  return findWriteTarget(path, target) == 0 && saveDocumentAtomically(doc, target);
}

const std::string kDocument = "<?xml version=\"1.0\"?>\n<r>\n  <a ID=\"0x1\"/>\n</r>\n";

TEST(AtomicSave, WritesTheSameBytesAsXmlSaveFile) {
  const std::string documents[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c -->\n<r a=\"\xc3\xa9\">\n"
      "  <b>caf\xc3\xa9 &amp; t\xc3\xa9</b>\n  <!-- kept --><c/>\n</r>\n<!-- after -->\n",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xe9\"><b>\xe9</b></r>\n",
      "<?xml version=\"1.0\"?>\n<r a=\"\xc3\xa9\">caf\xc3\xa9<b/></r>\n",
      "<r><b/>\n\n\t<c x='1'/></r>",
  };
  TempDir dir;
  for (const std::string& content : documents) {
    writeFile(dir / "in.xml", content);
    const xml::XmlDocHandle doc = parse(dir / "in.xml");
    ASSERT_NE(doc, nullptr) << content;
    ASSERT_GE(xmlSaveFile((dir / "reference.xml").c_str(), doc.get()), 0);
    ASSERT_TRUE(saveAt(doc.get(), dir / "saved.xml"));
    EXPECT_EQ(readFile(dir / "saved.xml"), readFile(dir / "reference.xml")) << content;
  }
  EXPECT_EQ(listDir(dir.path()),
            (std::vector<std::string>{"in.xml", "reference.xml", "saved.xml"}));
}

TEST(AtomicSave, ReplacesAnExistingFileKeepingItsMode) {
  TempDir dir;
  writeFile(dir / "in.xml", kDocument);
  writeFile(dir / "out.xml", "old content");
  ASSERT_EQ(chmod((dir / "out.xml").c_str(), 0640), 0);
  const xml::XmlDocHandle doc = parse(dir / "in.xml");
  ASSERT_TRUE(saveAt(doc.get(), dir / "out.xml"));
  EXPECT_EQ(readFile(dir / "out.xml"), kDocument);
  struct stat status {};
  ASSERT_EQ(stat((dir / "out.xml").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"in.xml", "out.xml"}));
}

TEST(AtomicSave, FailedRenameLeavesTargetAndNoTemporaryFile) {
  TempDir dir;
  writeFile(dir / "in.xml", kDocument);
  writeFile(dir / "target/inside", "x");  // a directory can't be replaced by a file
  const xml::XmlDocHandle doc = parse(dir / "in.xml");
  EXPECT_FALSE(saveAt(doc.get(), dir / "target"));
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"in.xml", "target"}));
  EXPECT_EQ(readFile(dir / "target/inside"), "x");
}

}  // namespace
}  // namespace kyto::treeshaper
