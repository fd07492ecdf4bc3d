#include "libxml2_parse.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "test_support.h"

namespace {

using kyto::test::TempDir;

int g_callerReports = 0;
void callerHandler(void* /*data*/, xmlError* /*report*/) {
  ++g_callerReports;
}

// What libxml2 would print becomes one line naming the file, with no control character, and
// nothing is printed; a handler the caller installed stays installed and hears nothing.
TEST(XmlFileParse, ReportsOneSafeLineAndPrintsNothing) {
  TempDir dir;
  const std::string bad = dir / "a\x1b[31m.xml";
  const std::string safe = dir / "a?[31m.xml";
  const std::string missing = dir / "missing.xml";
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const struct {
    const char* what;
    std::string content;  // written to bad
    std::string path;
    std::string diagnostic;
  } cases[] = {
      {"well-formed", "<r/>", bad, ""},
      {"tag mismatch", "<r>\n<a></b></r>", bad,
       safe + ":2: Opening and ending tag mismatch: a line 2 and b"},
      {"a newline inside libxml2's message", "<r>\xff</r>", bad,
       safe + ":1: Input is not proper UTF-8, indicate encoding !?Bytes: 0xFF 0x3C 0x2F 0x72"},
      // raised by libxml2 without a parser context: no line number
      {"bytes the declared encoding can't convert",
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<r>\x81\x20\xff</r>", bad,
       safe + ": input conversion failed due to input error, bytes 0x81 0x20 0xFF 0x3C"},
      {"missing", "", missing, missing + ": No such file or directory"},
      {"FIFO without a writer", "", dir / "fifo", dir / "fifo: not a regular file"},
      {"directory", "", dir.path(), dir.path() + ": Is a directory"},
  };
  xmlSetStructuredErrorFunc(nullptr, callerHandler);
  for (const auto& c : cases) {
    kyto::test::writeFile(bad, c.content);
    ::testing::internal::CaptureStderr();
    const kyto::xml::XmlFileParse parse = kyto::xml::parseXmlFile(c.path, 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << c.what;
    EXPECT_EQ(parse.doc != nullptr, c.diagnostic.empty()) << c.what;
    EXPECT_EQ(parse.diagnostic, c.diagnostic) << c.what;
    xmlFreeDoc(parse.doc);
  }
  EXPECT_EQ(xmlStructuredError, callerHandler);
  EXPECT_EQ(g_callerReports, 0);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
}

// A read that fails makes the file unreadable, named with the read's error.
TEST(XmlFileParse, AFailedReadIsTheFilesProblem) {
  TempDir dir;
  const int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ::testing::internal::CaptureStderr();
  const kyto::xml::XmlFileParse parse = kyto::xml::parseXmlDescriptor(fd, "list.xml", 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  close(fd);
  EXPECT_EQ(parse.doc, nullptr);
  EXPECT_EQ(parse.readError, EISDIR);
  EXPECT_EQ(parse.diagnostic, "list.xml: Is a directory");
}

}  // namespace
