// The command line, run end to end: what is accepted, what is refused, and the exact output.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "staged_root.h"

namespace kyto::test {
namespace {

// The usage text, exactly as the program prints it.
const char kUsageText[] =
    "Usage: treeshaper [OPTION]...\n"
    "Generate custom xml for user to determine what they want.\n"
    "\n"
    "Mandatory arguments to long options are mandatory for short options too.\n"
    "-l, --list TYPE\n"
    "\tlist the attribute of the TYPE which should be \"Music\", \"Video\" or \"Photo\"\n"
    "-a, --add TYPE [attribute id] -o, --output FILE\n"
    "\tadd(or remove) the attribute for a TYPE and save to a custom FILE\n"
    "-r, --read FILE TYPE\n"
    "\tread the FILE and show the atribute of TYPE which FILE is contain.\n"
    "-h, --help\n"
    "\tshow this help\n";

const char kTemplate[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<TREE>\n"
    "  <TYPE NAME=\"Music\">\n"
    "    <A ID=\"0x3\" NAME=\"Album\"/>\n"
    "    <A ID=\"0x7\" NAME=\"Artist\"/>\n"
    "    <A ID=\"0x1a\" NAME=\"Genre\"/>\n"
    "  </TYPE>\n"
    "</TREE>\n";

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(tree.templatePath(), kTemplate); }

  // The arguments of a table row after the program's name.
  static std::vector<std::string> withProgram(std::vector<std::string> args) {
    args.insert(args.begin(), "treeshaper");
    return args;
  }

  // The files of the tree directory; only the template unless something was written.
  std::vector<std::string> treeFiles() const { return listDir(tree.paths().treeDir); }

  StagedRoot tree;
};

struct Rejection {
  const char* what;
  std::vector<std::string> args;
  std::string message;  // printed before the usage text
  bool usage = true;
  int status = 1;        // a bad command line fails; only the help asked for succeeds
  std::string errors{};  // our own diagnostics, on standard error
};

TEST_F(CommandLine, RejectionsAndTheHelpPrintTheUsageTextAndWriteNothing) {
  const std::string longName(129, 'f');
  std::vector<std::string> tooManyIds = {"--add", "Music"};
  for (int i = 0; i < 33; ++i) tooManyIds.push_back(std::to_string(i));
  tooManyIds.insert(tooManyIds.end(), {"--output", "many.xml"});

  const Rejection rejections[] = {
      {"no arguments", {}, ""},
      {"-h", {"-h"}, "", true, 0},
      {"--help", {"--help"}, "", true, 0},
      {"unknown word", {"list", "Music"}, ""},
      {"short word with more letters", {"-la", "Music"}, ""},
      {"long word with more letters", {"--lists", "Music"}, ""},
      {"--list without TYPE", {"--list"}, ""},
      {"-l without TYPE", {"-l"}, ""},
      {"--read without FILE", {"--read"}, ""},
      {"--read without TYPE", {"-r", "custom.xml"}, ""},
      {"--add alone prints nothing", {"--add"}, "", false},
      {"-a alone prints nothing", {"-a"}, "", false},
      {"lower-case TYPE", {"--add", "music", "3", "-o", "out.xml"}, ""},
      {"unknown TYPE", {"--add", "Audio", "3", "-o", "out.xml"}, ""},
      {"nothing after TYPE", {"--add", "Music"}, ""},
      {"ids without output option", {"-a", "Music", "3", "7"}, ""},
      {"output option last", {"--add", "Music", "3", "--output"}, ""},
      {"-o last", {"--add", "Music", "-o"}, ""},
      {"stray option",
       {"--add", "Music", "3", "-x", "-o", "out.xml"},
       "it should have --output after --add\n"},
      {"negative id",
       {"--add", "Music", "-3", "-o", "out.xml"},
       "it should have --output after --add\n"},
      {"FILE of 129 characters",
       {"--add", "Music", "3", "-o", longName},
       "output file name can not more than 128 character\n"},
      {"33 ids", tooManyIds, "", true, 1, "attribute id can not more than 32\n"},
  };
  for (const Rejection& r : rejections) {
    const ProgramResult result = tree.run(withProgram(r.args));
    EXPECT_EQ(result.out, r.message + (r.usage ? kUsageText : "")) << r.what;
    EXPECT_EQ(result.exitStatus, r.status) << r.what;
    EXPECT_EQ(result.err, r.errors) << r.what;
    EXPECT_EQ(treeFiles(), std::vector<std::string>{"UPnPTree.xml"}) << r.what;
  }
  EXPECT_EQ(readFile(tree.templatePath()), kTemplate);
}

// The Music section of kTemplate keeping only the listed attribute lines.
std::string withMusic(const std::string& kept) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TREE>\n  <TYPE NAME=\"Music\">\n" + kept +
         "  </TYPE>\n</TREE>\n";
}

const std::string kAlbum = "    <A ID=\"0x3\" NAME=\"Album\"/>\n";
const std::string kArtist = "    <A ID=\"0x7\" NAME=\"Artist\"/>\n";
const std::string kGenre = "    <A ID=\"0x1a\" NAME=\"Genre\"/>\n";
const std::string kGone = "    \n";  // the indentation a removed attribute leaves behind

struct Accepted {
  const char* what;
  std::vector<std::string> args;
  std::string file;  // written under the tree directory
  std::string content;
};

TEST_F(CommandLine, AcceptedAddFormsWriteTheCustomFile) {
  const std::string name128 = std::string(124, 'n') + ".xml";
  std::vector<std::string> thirtyTwoIds = {"-a", "Music"};
  for (int i = 0; i < 31; ++i) thirtyTwoIds.push_back(std::to_string(100 + i));
  thirtyTwoIds.insert(thirtyTwoIds.end(), {"7", "-o", "many.xml"});
  // 126 blanks, then "269": cut to 128 characters it reads 26, whole it would read 269.
  const std::string longId = std::string(126, ' ') + "269";

  const Accepted cases[] = {
      {"long options",
       {"--add", "Music", "3", "7", "--output", "a.xml"},
       "a.xml",
       withMusic(kAlbum + kArtist + kGone)},
      {"short options",
       {"-a", "Music", "26", "-o", "b.xml"},
       "b.xml",
       withMusic(kGone + kGone + kGenre)},
      {"no ids",
       {"--add", "Music", "--output", "c.xml"},
       "c.xml",
       withMusic(kGone + kGone + kGone)},
      {"arguments after FILE are ignored",
       {"-a", "Music", "3", "7", "-o", "d.xml", "26"},
       "d.xml",
       withMusic(kAlbum + kArtist + kGone)},
      {"FILE beginning with a dash",
       {"-a", "Music", "7", "-o", "-e.xml"},
       "-e.xml",
       withMusic(kGone + kArtist + kGone)},
      {"FILE of 128 characters",
       {"-a", "Music", "3", "-o", name128},
       name128,
       withMusic(kAlbum + kGone + kGone)},
      {"32 ids", thirtyTwoIds, "many.xml", withMusic(kGone + kArtist + kGone)},
      {"id cut to 128 characters",
       {"-a", "Music", longId, "-o", "g.xml"},
       "g.xml",
       withMusic(kGone + kGone + kGenre)},
  };
  for (const Accepted& c : cases) {
    EXPECT_EQ(tree.output(withProgram(c.args)), "") << c.what;
    EXPECT_EQ(readFile(tree.treeFile(c.file)), c.content) << c.what;
  }
  EXPECT_EQ(readFile(tree.templatePath()), kTemplate);
}

TEST_F(CommandLine, ListAndReadIgnoreExtraArguments) {
  const std::string listing = "3 Album\n7 Artist\n26 Genre\n";
  EXPECT_EQ(tree.output({"treeshaper", "--list", "Music", "Video"}), listing);
  EXPECT_EQ(tree.output({"treeshaper", "-l", "Music"}), listing);
  EXPECT_EQ(tree.output({"treeshaper", "--read", "UPnPTree.xml", "Music", "extra"}), listing);
  EXPECT_EQ(tree.output({"treeshaper", "-r", "UPnPTree.xml", "Music"}), listing);
}

// A path is never cut, or what is left of it could name another file.
TEST_F(CommandLine, PathsOver1023BytesAreRefusedNotCut) {
  std::string path = tree.path();
  while (path.size() < 1023 - 201) path += "/" + std::string(200, 'd');
  path += "/" + std::string(1023 - path.size() - 1, 'f');
  ASSERT_EQ(path.size(), 1023u);
  writeFile(path, kTemplate);
  EXPECT_EQ(tree.output({"treeshaper", "--read", path, "Music"}), "3 Album\n7 Artist\n26 Genre\n");
  const ProgramResult tooLong = tree.run({"treeshaper", "--read", path + "x", "Music"});
  EXPECT_EQ(tooLong.out, "");
  EXPECT_EQ(tooLong.err, "file path is too long\n");
  EXPECT_EQ(tooLong.exitStatus, 1);

  // Under a long root the template still fits but a relative FILE of 128 characters doesn't.
  std::string root = tree.path();
  while (root.size() < 1000 - 22) root += "/.";
  const auto add = [&root](const std::string& file) {
    return runUnderRoot(root, {"treeshaper", "-a", "Music", "3", "-o", file});
  };
  const ProgramResult refused = add(std::string(128, 'n'));
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "file path is too long\n");
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(add("fits.xml").exitStatus, 0);
  EXPECT_EQ(treeFiles(), (std::vector<std::string>{"UPnPTree.xml", "fits.xml"}));
}

void makeSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(fd);
}

// A FIFO, device, socket or directory as template, --read FILE or output is unreadable, and
// opening it never waits (a FIFO without a writer would block an ordinary open for good).
TEST_F(CommandLine, TreeFilesThatAreNoRegularFilesAreUnreadable) {
  struct Odd {
    const char* what;
    void (*make)(const std::string& path);
    std::string problem;
  };
  const Odd odds[] = {
      {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
       "not a regular file"},
      {"device", [](const std::string& p) { ASSERT_EQ(symlink("/dev/null", p.c_str()), 0); },
       "not a regular file"},
      {"socket", makeSocket, "not a regular file"},
      {"directory", [](const std::string& p) { makeDirs(p); }, "Is a directory"},
  };
  const std::string odd = tree.treeFile("odd");
  const std::string unparsed = "pdoc is NULL\nproot is NULL\n";
  // Standard output carries the program's own messages, standard error the one line that says
  // what is wrong with which file.
  const auto expect = [this](std::vector<std::string> args, const std::string& out,
                             const std::string& err) {
    args.insert(args.begin(), "treeshaper");
    const ProgramResult result = tree.run(args);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(result.exitStatus, 1);
  };
  for (const Odd& o : odds) {
    SCOPED_TRACE(o.what);
    o.make(odd);
    expect({"--read", "odd", "Music"}, unparsed, odd + ": " + o.problem + "\n");
    // The output is named as it was found: the device a link leads to.
    expect({"-a", "Music", "3", "-o", "odd"}, unparsed,
           std::filesystem::canonical(odd).string() + ": " + o.problem + "\n");
    std::filesystem::remove_all(odd);

    const std::string report = tree.templatePath() + ": " + o.problem + "\n";
    std::filesystem::remove(tree.templatePath());
    o.make(tree.templatePath());
    expect({"--list", "Music"}, unparsed, report);
    expect({"-a", "Music", "3", "-o", "new.xml"}, "pdoc is NULL\n", report);
    std::filesystem::remove_all(tree.templatePath());
    writeFile(tree.templatePath(), kTemplate);
  }
  EXPECT_EQ(treeFiles(), std::vector<std::string>{"UPnPTree.xml"});
}

}  // namespace
}  // namespace kyto::test
