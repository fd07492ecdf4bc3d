#include "cli/server_settings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "memory_stream.h"
#include "staged_root.h"

namespace kyto::clientadm {
namespace {

using test::MemoryStream;

struct SettingsCase {
  const char* name;
  std::string content;
  std::int32_t value;
  const char* errors;
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kLongComment = "#" + std::string(1500, 'x') + "\n";

class ServerSettingsFile : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ServerSettingsFile, ReadsDenyAnonymous) {
  const SettingsCase& c = GetParam();
  kyto::test::writeFile(test::processPaths().serverSettings, c.content);
  MemoryStream errors;
  std::int32_t value = 12345;
  EXPECT_EQ(readServerSettings(&value, errors.get()), 0);
  EXPECT_EQ(value, c.value);
  EXPECT_EQ(errors.text(), c.errors);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ServerSettingsFile,
    ::testing::Values(
        SettingsCase{"Plain", "deny_anonymous=1\n", 1, ""},
        SettingsCase{"Spaced", "   deny_anonymous   =   1   \n", 1, ""},
        SettingsCase{"Tabs", "\tdeny_anonymous\t=\t1\n", 1, ""},
        SettingsCase{"NoFinalNewline", "deny_anonymous = 1", 1, ""},
        SettingsCase{"AnyInteger", "deny_anonymous = 2\n", 2, ""},
        SettingsCase{"Negative", "deny_anonymous = -3\n", -3, ""},
        SettingsCase{"TrailingText", "deny_anonymous = 1 # on\n", 1, ""},
        SettingsCase{"Word", "deny_anonymous = yes\n", 0, ""},
        SettingsCase{"EmptyValue", "deny_anonymous =\n", 0, ""},
        SettingsCase{"NarrowedTo32Bits", "deny_anonymous = 4294967297\n", 1, ""},
        SettingsCase{"OverflowClampsThenNarrows", "deny_anonymous = 99999999999999999999\n", -1,
                     ""},
        SettingsCase{"KeyCase", "Deny_Anonymous = 1\n", 0, ""},
        SettingsCase{"LongerKey", "deny_anonymous_all = 1\n", 0, ""},
        SettingsCase{"EmptyKey", "= 1\n", 0, ""},
        SettingsCase{"Comment", "#deny_anonymous = 1\n", 0, ""},
        SettingsCase{"IndentedComment", "  # deny_anonymous = 1\n", 0, ""},
        SettingsCase{"FirstWins", "deny_anonymous = 1\ndeny_anonymous = 0\n", 1, ""},
        SettingsCase{"StopsAtFirst", "deny_anonymous = 1\nfoo\n", 1, ""},
        SettingsCase{"SectionDoesNotScope",
                     "[general]\nport = 8200\n[access]\ndeny_anonymous = 4\n", 4, ""},
        SettingsCase{"MissingEqualsReported", "foo\ndeny_anonymous = 1\n", 1,
                     "parsing error file\n"},
        SettingsCase{"EachBadLineReported", "foo\nbar\n\n  \nbaz = 1\n", 0,
                     "parsing error file\nparsing error file\n"},
        SettingsCase{"KeyWithoutValue", "deny_anonymous\n", 0, "parsing error file\n"},
        SettingsCase{"CrLf", "[x]\r\nfoo\r\n \r\n# c\r\ndeny_anonymous = 7\r\n", 7,
                     "parsing error file\n"},
        SettingsCase{"OtherWhiteSpace", "\v\f\r\n\f deny_anonymous \v= \f5\n", 5, ""},
        SettingsCase{"Empty", "", 0, ""},
        // A line is one line whatever its length: no part of a long one reads as a line of its
        // own (the reader of old cut lines into pieces of 1023 bytes).
        SettingsCase{"LongCommentIsOneLine", kLongComment + "deny_anonymous = 1\n", 1, ""},
        SettingsCase{"LineOf1023BytesIsWhole", "deny_anonymous = 3" + std::string(1005, ' ') + "\n",
                     3, ""},
        SettingsCase{"LongValueLineIsWhole", "deny_anonymous =" + std::string(1100, ' ') + "1\n", 1,
                     ""},
        SettingsCase{"NoSettingForgedInALongLine",
                     "friendly_name = " + std::string(1007, 'x') +
                         "deny_anonymous = 1\ndeny_anonymous = 2\n",
                     2, ""},
        // The file is read whatever its size, and the first deny_anonymous line decides wherever
        // it stands.
        SettingsCase{"SettingBeforeAHugeComment",
                     "deny_anonymous = 1\n#" + std::string(1100000, 'x') + "\n", 1, ""},
        SettingsCase{"SettingAfterAHugeLine",
                     "friendly_name = " + std::string(2100000, 'x') + "\ndeny_anonymous = 3\n", 3,
                     ""},
        SettingsCase{"HugeValue", "deny_anonymous = " + std::string(1100000, '0') + "8\n", 8, ""},
        // A NUL ends a line's content, as it always did.
        SettingsCase{"NulEndsTheLine", std::string("\0foo\ndeny_anonymous = 5\0 = 9\n", 29), 5,
                     ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A FIFO would block a plain open for ever, a link to /dev/zero a plain read.
TEST(ServerSettings, UnreadableFileLeavesZeroSilently) {
  const std::string path = test::processPaths().serverSettings;
  const struct {
    const char* name;
    std::function<void()> make;
  } cases[] = {
      {"missing", [] {}},
      {"directory", [&] { kyto::test::makeDirs(path); }},
      {"FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
      {"link to /dev/zero", [&] { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(path);
    c.make();
    MemoryStream errors;
    std::int32_t value = 9;
    EXPECT_EQ(readServerSettings(&value, errors.get()), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(errors.text(), "");
  }
  std::filesystem::remove_all(path);
}

}  // namespace
}  // namespace kyto::clientadm
