// The history of the client list and its restore, as an administrator uses them, and the faults
// that the history must not have.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "staged_root.h"
#include "test_support.h"

namespace {

using kyto::test::listDir;
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
  std::string out;  // times as TIME; a "*" at its end for anything after
  std::string err;  // the root as {root}, the history's directory as {history}
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
std::string historyFile(const StagedRoot& root, const std::string& name) {
  return file(root, "clients.history/" + name);
}
std::vector<std::string> historyFiles(const StagedRoot& root) {
  return listDir(file(root, "clients.history"));
}
mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

const std::string a = "02:00:00:00:00:0a";
const std::string b = "02:00:00:00:00:0b";
Step add(const std::string& mac) {
  return {{"clientadm", "add", "-m", mac}};
}
Step del(const std::string& mac) {
  return {{"clientadm", "del", "-m", mac}};
}
Step restore(const std::string& number) {
  return {{"clientadm", "restore", number}};
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
std::string mac(int n) {
  char text[18];
  snprintf(text, sizeof text, "02:00:00:00:01:%02x", n);
  return text;
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

std::string rooted(std::string text, const StagedRoot& root) {
  const std::pair<std::string, std::string> marks[] = {{"{history}", file(root, "clients.history")},
                                                       {"{root}", root.path()}};
  for (const auto& [mark, value] : marks)
    for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
      text.replace(at, mark.size(), value);
  return text;
}

void runScenarios(const std::vector<Scenario>& scenarios) {
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
      std::error_code noList;  // a loop of links in the list's place included
      const bool hadList = std::filesystem::exists(root.paths().clientsXml, noList);
      const std::string before = hadList ? readFile(root.paths().clientsXml) : "";
      const ProgramResult result = root.run(step.args);
      EXPECT_EQ(result.exitStatus, step.status);
      if (step.out.ends_with("*")) {
        const std::string start = step.out.substr(0, step.out.size() - 1);
        EXPECT_EQ(withTimesAsTIME(result.out).substr(0, start.size()), start);
      } else {
        EXPECT_EQ(withTimesAsTIME(result.out), step.out);
      }
      EXPECT_EQ(result.err, rooted(step.err, root));
      if (step.status != 0 && hadList) {
        EXPECT_EQ(readFile(root.paths().clientsXml), before) << "a refused command wrote";
      }
    }
  }
}

TEST(History, KeepsEachReplacedListAndRestoresIt) {
  runScenarios({
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
        restore("1"),
        listed(line(a)),
        history("3|TIME|restore 1|1\n2|TIME|del " + a + "|2\n1|TIME|add " + b + "|1\n"),
        restore("3"),
        listed(line(b))}},
      {"no change, no history",
       {history(""), {{"clientadm", "history", "--json"}, 0, "[]\n"}, add(a), history("")}},
      {"a hand edit shows as an edit, whose version was not kept",
       {add(a), add(b), act([](const StagedRoot& root) {
          writeFile(root.paths().clientsXml,
                    "<UPNP_CLIENTS><CLIENT MAC=\"" + b + "\"/></UPNP_CLIENTS>");
        }),
        history("2|TIME|edit|2\n1|TIME|add " + b + "|1\n"),
        refusedRestore("2", "was not kept: the list was changed by hand"), del(b),
        history("3|TIME|del " + b + "|1\n2|TIME|edit|2\n1|TIME|add " + b + "|1\n"), restore("3"),
        listed(line(b))}},
      {"the last ten changes are kept, the older versions go",
       {add(mac(0)), add(mac(1)), add(mac(2)), add(mac(3)), add(mac(4)), add(mac(5)), add(mac(6)),
        add(mac(7)), add(mac(8)), add(mac(9)), add(mac(10)), add(mac(11)),
        act([](const StagedRoot& root) {
          std::vector<std::string> expected = {"index"};
          for (int n = 2; n <= 11; ++n)
            for (const char* kind : {".record", ".xml"})
              expected.push_back("version-" + std::to_string(n) + kind);
          std::sort(expected.begin(), expected.end());
          EXPECT_EQ(historyFiles(root), expected);
        }),
        refusedRestore("1", "is not in the history"), restore("2"),
        listed(line(mac(0)) + line(mac(1)))}},
      {"a version that can't be restored leaves the list alone",
       {add(a),
        add(b),
        del(a),
        act([](const StagedRoot& root) {
          std::filesystem::remove(historyFile(root, "version-1.xml"));
          std::filesystem::rename(historyFile(root, "version-2.xml"), file(root, "elsewhere.xml"));
          ASSERT_EQ(symlink("../elsewhere.xml", historyFile(root, "version-2.xml").c_str()), 0);
        }),
        refusedRestore("1", "can't be read (No such file or directory)"),
        refusedRestore("2", "can't be read (Too many levels of symbolic links)"),
        refusedRestore("7", "is not in the history"),
        {{"clientadm", "restore", "x"}, 1, "*", "Error version number\n"},
        {{"clientadm", "restore", "-1"}, 1, "*", "Error version number\n"},
        listed(line(b))}},
      {"a list that can't be found has no history to read",
       {act([](const StagedRoot& root) {
          ASSERT_EQ(symlink("clients.xml", root.paths().clientsXml.c_str()), 0);
        }),
        {{"clientadm", "history"},
         1,
         "",
         "clientadm: the history of {root}/etc/config/kytomediasvr/clients.xml can't be read "
         "(Too many levels of symbolic links)\n"}}},
      {"a corrupt list is kept as it was, and its backup beside the list stays",
       {act([](const StagedRoot& root) { writeFile(root.paths().clientsXml, "<UPNP_CLIENTS>"); }),
        add(a), history("1|TIME|add " + a + "|-1\n"),
        refusedRestore("1", "is no client list (no element found)"),
        act([](const StagedRoot& root) {
          EXPECT_EQ(readFile(historyFile(root, "version-1.xml")), "<UPNP_CLIENTS>");
        }),
        add(b), add(mac(0)), add(mac(1)), add(mac(2)), add(mac(3)), add(mac(4)), add(mac(5)),
        add(mac(6)), add(mac(7)), add(mac(8)), act([](const StagedRoot& root) {
          int backups = 0;
          for (const std::string& name : listDir(root.paths().configDir))
            backups += name.starts_with("clients.xml.corrupt-");
          EXPECT_EQ(backups, 1);
        })}},
  });
}

// Each fault of the history as it was (versions beside the list as links, named as other tools
// name their backups, and an index that alone said which versions were there), each gone.
TEST(History, OwnsOnlyItsOwnFilesAndLosesNoVersion) {
  const std::string notKept =
      "clientadm: the list this change replaced was not kept in its history {history}";
  const std::string noNumberLeft =
      "clientadm: the history {history} has no version number left: the change is refused\n";
  const std::string addRefused =
      "clientadm: {root}/etc/config/kytomediasvr/clients.xml was left as "
      "it was: its history {history} has no version number left\n";
  const std::string cutMac = std::string(120000, '0') + "2:00:00:00:00:0";
  runScenarios({
      {"an administrator's files, beside the list or in the history's directory, stay",
       {add(a), act([](const StagedRoot& root) {
          // cp --backup=numbered, Emacs, a hand-made copy, the files of the old layout, and
          // names near the history's own.
          for (const char* name :
               {"clients.xml.~1~", "clients.xml.~2~", "clients.xml~", "clients.xml.bak",
                "clients.xml.history", ".clients.xml.tmp-mine", "clients.history/notes.txt",
                "clients.history/version-01.xml", "clients.history/version-1.xml.orig",
                "clients.history/.index.tmp-mine"})
            writeFile(file(root, name), std::string("the administrator's ") + name);
        }),
        add(b), del(a), restore("1"), add(mac(0)), add(mac(1)), add(mac(2)), add(mac(3)),
        add(mac(4)), add(mac(5)), add(mac(6)), add(mac(7)), add(mac(8)),
        act([](const StagedRoot& root) {
          for (const char* name :
               {"clients.xml.~1~", "clients.xml.~2~", "clients.xml~", "clients.xml.bak",
                "clients.xml.history", ".clients.xml.tmp-mine", "clients.history/notes.txt",
                "clients.history/version-01.xml", "clients.history/version-1.xml.orig",
                "clients.history/.index.tmp-mine"})
            EXPECT_EQ(readFile(file(root, name)), std::string("the administrator's ") + name);
        }),
        restore("12"),
        listed(line(a) + line(mac(0)) + line(mac(1)) + line(mac(2)) + line(mac(3)) + line(mac(4)) +
               line(mac(5)) + line(mac(6)) + line(mac(7)))}},
      {"a damaged or lost index costs no version",
       {add(a), add(b), del(a), act([](const StagedRoot& root) {
          std::ofstream(historyFile(root, "index"), std::ios::app) << "\n";
        }),
        add(a), add(mac(0)),
        act([](const StagedRoot& root) { std::filesystem::remove(historyFile(root, "index")); }),
        add(mac(1)),
        history("5|TIME|add " + mac(1) + "|3\n4|TIME|add " + mac(0) + "|2\n3|TIME|add " + a +
                "|1\n2|TIME|del " + a + "|2\n1|TIME|add " + b + "|1\n"),
        restore("1"), listed(line(a))}},
      {"an index that lies, or is lost with the newest record, costs no version",
       {add(a),
        add(b),
        del(a),
        add(a),
        act([](const StagedRoot& root) {
          std::string index = readFile(historyFile(root, "index"));
          index.replace(index.find("highest\t3"), 9, "highest\t1");
          index.replace(index.find("last\t3"), 6, "last\t1");
          writeFile(historyFile(root, "index"), index);
        }),
        add(mac(0)),
        act([](const StagedRoot& root) {
          std::filesystem::remove(historyFile(root, "index"));
          std::filesystem::remove(historyFile(root, "version-4.record"));
        }),
        add(mac(1)),
        {{"clientadm", "history"},
         0,
         "5|TIME|add " + mac(1) + "|3\n4|TIME|unknown|-1\n3|TIME|add " + a + "|1\n2|TIME|del " + a +
             "|2\n1|TIME|add " + b + "|1\n",
         "clientadm: the history's file {history}/version-4.record can't be read (No such file or "
         "directory); the rest is read\n"},
        restore("4"),
        listed(line(a) + line(b))}},
      {"a damaged record costs no version: its copy is listed and restored",
       {add(a),
        add(b),
        del(a),
        act([](const StagedRoot& root) {
          writeFile(historyFile(root, "version-1.record"), "damaged");
        }),
        {{"clientadm", "history"},
         0,
         "2|TIME|del " + a + "|2\n1|TIME|unknown|-1\n",
         "clientadm: the history's file {history}/version-1.record can't be read (Bad message); "
         "the rest is read\n"},
        restore("1"),
        listed(line(a))}},
      {"a long change text is cut, so no record outgrows its reader",
       {act([&](const StagedRoot& root) {
          std::vector<std::string> clients;
          for (int n = 0; n < 9; ++n)
            clients.push_back("<CLIENT MAC=\"" + cutMac + std::to_string(n) + "\"/>");
          clients.push_back("<CLIENT MAC=\"" + a + "\"/>");
          writeFile(root.paths().clientsXml, kyto::test::listFile(clients));
        }),
        del(cutMac + "0"), del(cutMac + "1"), del(cutMac + "2"), del(cutMac + "3"),
        del(cutMac + "4"), del(cutMac + "5"), del(cutMac + "6"), del(cutMac + "7"),
        del(cutMac + "8"), add(b),
        history("10|TIME|add " + b + "|1\n9|TIME|del " + std::string(193, '0') + "...|2\n*"),
        add(mac(0)), add(mac(1)), restore("3"),
        act([](const StagedRoot& root) { EXPECT_EQ(historyFiles(root).size(), 21u); })}},
      {"numbers never wrap: at the highest, a change is refused and said",
       {add(a),
        add(b),
        act([](const StagedRoot& root) {
          std::string index = readFile(historyFile(root, "index"));
          index.replace(index.find("highest\t1"), 9, "highest\t9223372036854775806");
          writeFile(historyFile(root, "index"), index);
        }),
        del(a),
        history("9223372036854775807|TIME|del " + a + "|2\n1|TIME|add " + b + "|1\n"),
        {{"clientadm", "add", "-m", a}, 1, "", addRefused},
        {{"clientadm", "restore", "1"}, 1, "", noNumberLeft},
        listed(line(b))}},
      {"a version shares nothing with the list: an edit in place leaves it",
       {add(a), add(b), act([](const StagedRoot& root) {
          const std::string kept = readFile(historyFile(root, "version-1.xml"));
          std::ofstream(root.paths().clientsXml, std::ios::trunc)
              << kyto::test::listFile({"<CLIENT MAC=\"" + a + "\"/>"});
          EXPECT_EQ(readFile(historyFile(root, "version-1.xml")), kept);
          for (const std::string& name : historyFiles(root)) {
            struct stat st {};
            ASSERT_EQ(stat(historyFile(root, name).c_str(), &st), 0);
            EXPECT_EQ(st.st_nlink, 1u) << name;
          }
        }),
        history("2|TIME|edit|2\n1|TIME|add " + b + "|1\n")}},
      {"as private as the list, and no more",
       {add(a), act([](const StagedRoot& root) {
          ASSERT_EQ(chmod(root.paths().clientsXml.c_str(), 0600), 0);
        }),
        add(b), act([](const StagedRoot& root) {
          EXPECT_EQ(modeOf(file(root, "clients.history")), 0700u);
          for (const std::string& name : historyFiles(root))
            EXPECT_EQ(modeOf(historyFile(root, name)), 0600u) << name;
          ASSERT_EQ(chmod(root.paths().clientsXml.c_str(), 0640), 0);
          ASSERT_EQ(chmod(file(root, "clients.history").c_str(), 0777), 0);
        }),
        del(a), act([](const StagedRoot& root) {
          EXPECT_EQ(modeOf(file(root, "clients.history")), 0750u);
          for (const std::string& name : historyFiles(root))
            EXPECT_EQ(modeOf(historyFile(root, name)), 0640u) << name;
        })}},
      {"what killed changes left is cleared by the next change, and only that",
       {add(a), add(b), act([](const StagedRoot& root) {
          for (const char* name :
               {".clients.xml.tmp-Ab12Cd", "clients.history/.version-3.xml.tmp-Xy34Zw",
                "clients.history/.index.tmp-Qr56St", "clients.history/version-7.xml",
                "clients.history/version-7.record"})
            writeFile(file(root, name), "left behind");
        }),
        history("1|TIME|add " + b + "|1\n"), del(b), act([](const StagedRoot& root) {
          EXPECT_EQ(historyFiles(root),
                    (std::vector<std::string>{"index", "version-1.record", "version-1.xml",
                                              "version-2.record", "version-2.xml"}));
          EXPECT_EQ(listDir(root.paths().configDir),
                    (std::vector<std::string>{"clients.history", "clients.lock", "clients.xml"}));
        }),
        history("2|TIME|del " + b + "|2\n1|TIME|add " + b + "|1\n")}},
      {"a link, FIFO or directory bearing a history name is never changed or removed",
       {add(a), act([](const StagedRoot& root) {
          kyto::test::makeDirs(historyFile(root, "version-9.xml"));
          writeFile(file(root, "outside"), "the administrator's");
          ASSERT_EQ(chmod(file(root, "outside").c_str(), 0666), 0);
          ASSERT_EQ(link(file(root, "outside").c_str(), historyFile(root, "version-6.xml").c_str()),
                    0);
          ASSERT_EQ(symlink("../outside", historyFile(root, "version-7.xml").c_str()), 0);
          ASSERT_EQ(mkfifo(historyFile(root, "version-8.record").c_str(), 0644), 0);
          ASSERT_EQ(chmod(root.paths().clientsXml.c_str(), 0600), 0);
        }),
        add(b), add(mac(0)), act([](const StagedRoot& root) {
          EXPECT_EQ(modeOf(file(root, "outside")), 0666u);
          EXPECT_EQ(readFile(historyFile(root, "version-6.xml")), "the administrator's");
          EXPECT_EQ(modeOf(historyFile(root, "version-9.xml")), 0755u);
          for (const char* name : {"version-7.xml", "version-8.record"})
            EXPECT_TRUE(std::filesystem::is_symlink(historyFile(root, name)) ||
                        std::filesystem::is_fifo(historyFile(root, name)))
                << name;
        })}},
      {"a lost copy or record is said, and the rest is read",
       {add(a),
        add(b),
        add(mac(0)),
        act([](const StagedRoot& root) {
          std::filesystem::remove(historyFile(root, "version-1.xml"));
          std::filesystem::remove(historyFile(root, "version-2.record"));
        }),
        {{"clientadm", "history"},
         0,
         "2|TIME|unknown|-1\n1|TIME|add " + b + "|1\n",
         "clientadm: the history's file {history}/version-2.record can't be read (No such file "
         "or directory); the rest is read\nclientadm: the history's file {history}/version-1.xml "
         "can't be read (No such file or directory); the rest is read\n"},
        refusedRestore("1", "can't be read (No such file or directory)")}},
      {"a copy that can't be made is said, and its change still shows",
       {add(a),
        act([](const StagedRoot& root) {
          kyto::test::makeDirs(historyFile(root, "version-1.xml"));
        }),
        {{"clientadm", "add", "-m", b}, 0, "", notKept + " (Is a directory)\n"},
        history("1|TIME|add " + b + "|1\n"),
        refusedRestore("1", "was not kept (Is a directory)"),
        listed(line(a) + line(b))}},
      {"an index that can't be written costs no version: the records tell the changes",
       {add(a),
        add(b),
        act([](const StagedRoot& root) {
          std::filesystem::remove(historyFile(root, "index"));
          kyto::test::makeDirs(historyFile(root, "index"));
        }),
        add(mac(0)),
        add(mac(1)),
        {{"clientadm", "history"},
         0,
         "3|TIME|add " + mac(1) + "|3\n2|TIME|add " + mac(0) + "|2\n1|TIME|add " + b + "|1\n",
         "clientadm: the history's file {history}/index can't be read (Is a directory); the rest "
         "is read\n"},
        restore("2"),
        listed(line(a) + line(b))}},
      {"the library says nothing; clientadm says what was not kept",
       {add(a),
        act([](const StagedRoot& root) {
          std::filesystem::remove_all(file(root, "clients.history"));
          writeFile(file(root, "clients.history"), "");
        }),
        {{"clientadm", "add", "-m", b}, 0, "", notKept + " (Not a directory)\n"},
        listed(line(a) + line(b)),
        {{"clientadm", "history"},
         1,
         "",
         "clientadm: the history {history} can't be read (Not a directory)\n"},
        {{"clientadm", "restore", "1"},
         1,
         "",
         "clientadm: the history {history} can't be read (Not a directory)\n"}}},
  });
}

}  // namespace
