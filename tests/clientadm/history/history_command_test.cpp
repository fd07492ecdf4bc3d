// The history of the client list and its restore, as an administrator uses them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "staged_root.h"
#include "test_support.h"

namespace {

using kyto::test::ProgramResult;
using kyto::test::readFile;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

// One step: a clientadm command line with what it must print, or something done to the files.
struct Step {
  Step(std::vector<std::string> args, int status = 0, std::string out = "", std::string err = "")
      : args(std::move(args)), status(status), out(std::move(out)), err(std::move(err)) {}
  std::vector<std::string> args;
  int status;
  std::string out;  // times as TIME, the root as {root}; "*" for anything
  std::string err;
  std::function<void(const StagedRoot&)> action;
};

Step act(std::function<void(const StagedRoot&)> action) {
  Step step({});
  step.action = std::move(action);
  return step;
}

std::string withTimesAsTIME(const std::string& text) {
  static const std::regex kTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
  return std::regex_replace(text, kTime, "TIME");
}

std::string file(const StagedRoot& root, const std::string& name) {
  return root.paths().configDir + name;
}

const std::string a = "02:00:00:00:00:0a";
const std::string b = "02:00:00:00:00:0b";
Step add(const std::string& mac) {
  return {{"clientadm", "add", "-m", mac}};
}
Step del(const std::string& mac) {
  return {{"clientadm", "del", "-m", mac}};
}
Step listed(const std::string& text) {
  return {{"clientadm", "list"}, 0, text};
}
Step history(const std::string& text) {
  return {{"clientadm", "history"}, 0, text};
}
std::string line(const std::string& mac) {
  return "0|" + mac + "||||-1||0\n";
}

// A restore that is refused leaves the list byte for byte.
Step refusedRestore(const std::string& number, const std::string& why) {
  return {{"clientadm", "restore", number},
          1,
          "",
          "clientadm: version " + number + " " + why + ": nothing is restored\n"};
}

struct Scenario {
  const char* name;
  std::vector<Step> steps;
};

TEST(History, KeepsEachReplacedListAndRestoresIt) {
  const std::vector<Scenario> scenarios = {
      {"every change keeps the list it replaced, and a restore is a change",
       {add(a),
        add(b),
        del(a),
        history("2|TIME|del " + a + "|2\n1|TIME|add " + b + "|1\n"),
        {{"clientadm", "history", "--json"},
         0,
         "[\n{\"number\":2,\"time\":\"TIME\",\"change\":\"del " + a +
             "\",\"clients\":2},\n{\"number\":1,\"time\":\"TIME\",\"change\":\"add " + b +
             "\",\"clients\":1}\n]\n"},
        {{"clientadm", "restore", "1"}},
        listed(line(a)),
        history("3|TIME|restore 1|1\n2|TIME|del " + a + "|2\n1|TIME|add " + b + "|1\n"),
        {{"clientadm", "restore", "3"}},
        listed(line(b))}},
      {"no change, no history",
       {history(""), {{"clientadm", "history", "--json"}, 0, "[]\n"}, add(a), history("")}},
      {"a version is the replaced file itself, its mode kept",
       {add(a),
        act([](const StagedRoot& root) {
          ASSERT_EQ(chmod(root.paths().clientsXml.c_str(), 0600), 0);
        }),
        add(b),
        act([](const StagedRoot& root) {
          struct stat version {
          }, list{};
          ASSERT_EQ(stat(file(root, "clients.xml.~1~").c_str(), &version), 0);
          ASSERT_EQ(stat(root.paths().clientsXml.c_str(), &list), 0);
          EXPECT_EQ(version.st_mode & 07777, 0600u);
          EXPECT_EQ(list.st_mode & 07777, 0600u);
          EXPECT_EQ(readFile(file(root, "clients.xml.~1~")).find(b), std::string::npos);
        }),
        {{"clientadm", "restore", "1"}},
        act([](const StagedRoot& root) {
          struct stat list {};
          ASSERT_EQ(stat(root.paths().clientsXml.c_str(), &list), 0);
          EXPECT_EQ(list.st_mode & 07777, 0600u);
          EXPECT_EQ(readFile(root.paths().clientsXml), readFile(file(root, "clients.xml.~1~")));
        })}},
      {"a hand edit shows as an edit, whose version was not kept",
       {add(a),
        add(b),
        act([](const StagedRoot& root) {
          writeFile(root.paths().clientsXml,
                    "<UPNP_CLIENTS><CLIENT MAC=\"" + b + "\"/></UPNP_CLIENTS>");
        }),
        history("2|TIME|edit|2\n1|TIME|add " + b + "|1\n"),
        refusedRestore("2", "was not kept: the list was changed by hand"),
        del(b),
        history("3|TIME|del " + b + "|1\n2|TIME|edit|2\n1|TIME|add " + b + "|1\n"),
        {{"clientadm", "restore", "3"}},
        listed(line(b))}},
      {"the last ten changes are kept, the older versions go",
       {add("02:00:00:00:00:00"),
        add("02:00:00:00:00:01"),
        add("02:00:00:00:00:02"),
        add("02:00:00:00:00:03"),
        add("02:00:00:00:00:04"),
        add("02:00:00:00:00:05"),
        add("02:00:00:00:00:06"),
        add("02:00:00:00:00:07"),
        add("02:00:00:00:00:08"),
        add("02:00:00:00:00:09"),
        add("02:00:00:00:00:10"),
        add("02:00:00:00:00:11"),
        act([](const StagedRoot& root) {
          const std::vector<std::string> names = kyto::test::listDir(root.paths().configDir);
          std::vector<std::string> versions;
          for (const std::string& name : names)
            if (name.starts_with("clients.xml.~")) versions.push_back(name);
          EXPECT_EQ(versions.size(), 10u);
          EXPECT_FALSE(std::filesystem::exists(file(root, "clients.xml.~1~")));
          EXPECT_TRUE(std::filesystem::exists(file(root, "clients.xml.~2~")));
        }),
        refusedRestore("1", "is not in the history"),
        {{"clientadm", "restore", "2"}},
        listed(line("02:00:00:00:00:00") + line("02:00:00:00:00:01"))}},
      {"a version that can't be restored leaves the list alone",
       {add(a),
        add(b),
        del(a),
        act([](const StagedRoot& root) {
          std::filesystem::remove(file(root, "clients.xml.~1~"));
          writeFile(file(root, "clients.xml.~2~.target"), readFile(file(root, "clients.xml.~2~")));
          std::filesystem::remove(file(root, "clients.xml.~2~"));
          ASSERT_EQ(symlink("clients.xml.~2~.target", file(root, "clients.xml.~2~").c_str()), 0);
        }),
        refusedRestore("1", "can't be read (No such file or directory)"),
        refusedRestore("2", "can't be read (Too many levels of symbolic links)"),
        refusedRestore("7", "is not in the history"),
        {{"clientadm", "restore", "x"}, 1, "*", "Error version number\n"},
        {{"clientadm", "restore", "-1"}, 1, "*", "Error version number\n"},
        listed(line(b))}},
      {"a corrupt list's backup shows in the history and is kept",
       {act([](const StagedRoot& root) { writeFile(root.paths().clientsXml, "<UPNP_CLIENTS>"); }),
        add(a), history("1|TIME|add " + a + "|-1\n"),
        refusedRestore("1", "is no client list (no element found)"), add(b),
        add("02:00:00:00:00:00"), add("02:00:00:00:00:01"), add("02:00:00:00:00:02"),
        add("02:00:00:00:00:03"), add("02:00:00:00:00:04"), add("02:00:00:00:00:05"),
        add("02:00:00:00:00:06"), add("02:00:00:00:00:07"), add("02:00:00:00:00:08"),
        act([](const StagedRoot& root) {
          int backups = 0;
          for (const std::string& name : kyto::test::listDir(root.paths().configDir))
            backups += name.starts_with("clients.xml.corrupt-");
          EXPECT_EQ(backups, 1);
        })}},
      {"a lost index brings no number back, and the next change clears what it left",
       {add(a), add(b), del(a), act([](const StagedRoot& root) {
          std::filesystem::remove(file(root, "clients.xml.history"));
        }),
        add(a), history("3|TIME|add " + a + "|1\n"), add("02:00:00:00:00:00"),
        act([](const StagedRoot& root) {
          std::vector<std::string> versions;
          for (const std::string& name : kyto::test::listDir(root.paths().configDir))
            if (name.starts_with("clients.xml.~")) versions.push_back(name);
          EXPECT_EQ(versions, (std::vector<std::string>{"clients.xml.~3~", "clients.xml.~4~"}));
        })}},
      {"a history that can't be written never fails the change",
       {add(a),
        act([](const StagedRoot& root) {
          std::filesystem::remove(file(root, "clients.xml.history"));
          std::filesystem::create_directory(file(root, "clients.xml.history"));
        }),
        {{"clientadm", "add", "-m", b},
         0,
         "",
         "History of {root}/etc/config/kytomediasvr/clients.xml: the index could not be read, so "
         "it starts anew (Invalid argument); the change goes on\nHistory of "
         "{root}/etc/config/kytomediasvr/clients.xml: the index could not be written (Is a "
         "directory); the change goes on\n"},
        listed(line(a) + line(b)),
        {{"clientadm", "history"},
         1,
         "",
         "clientadm: the history of {root}/etc/config/kytomediasvr/clients.xml can't be read "
         "(Invalid argument)\n"}}},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    StagedRoot root;
    root.makeConfigDir();
    for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
      const Step& step = scenario.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      if (step.action) {
        step.action(root);
        continue;
      }
      const std::string before =
          std::filesystem::exists(root.paths().clientsXml) ? readFile(root.paths().clientsXml) : "";
      const ProgramResult result = root.run(step.args);
      const auto rooted = [&](std::string text) {
        for (std::size_t at; (at = text.find("{root}")) != std::string::npos;)
          text.replace(at, 6, root.path());
        return text;
      };
      EXPECT_EQ(result.exitStatus, step.status);
      if (step.out != "*") {
        EXPECT_EQ(withTimesAsTIME(result.out), step.out);
      }
      EXPECT_EQ(result.err, rooted(step.err));
      if (step.status != 0 && std::filesystem::exists(root.paths().clientsXml)) {
        EXPECT_EQ(readFile(root.paths().clientsXml), before) << "a refused command wrote";
      }
    }
  }
}

}  // namespace
