// Writers ended by a signal, or stopped by a file-size limit, in the middle of their work: the
// old file stays whole or the new one is complete, and no temporary file or partial backup is
// left behind. A file-size limit is an ordinary failure with status 1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "client_list_text.h"
#include "staged_root.h"

namespace {

using kyto::test::readFile;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

constexpr int kRoundsPerSignal = 8;
// Below every file a writer of these tests writes (ulimit -f counts in blocks of 1024 bytes).
constexpr int kFileSizeLimitBlocks = 100;

// A writer and what it works on: a large client list, a corrupt one, or a large template with a
// custom tree made from it.
struct Writer {
  const char* name;
  std::vector<std::string> args;  // args[0] names the program
  void (*stage)(const StagedRoot&);
};

std::string largeTemplate() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<T>\n  <TYPE NAME=\"Music\">\n";
  for (int id = 1; id <= 40000; ++id)
    xml += "    <A ID=\"0x" + std::to_string(id) + "\" NAME=\"Attribute " + std::to_string(id) +
           "\"/>\n";
  return xml + "  </TYPE>\n</T>\n";
}

const std::vector<Writer>& writers() {
  static const std::vector<Writer> all = {
      {"add",
       {"clientadm", "add", "-m", "0a:00:00:00:00:01", "-p", "2"},
       [](const StagedRoot& root) {
         writeFile(root.paths().clientsLock, "");
         writeFile(root.paths().clientsXml, kyto::test::clientList(20000));
       }},
      {"add over a corrupt list",
       {"clientadm", "add", "-m", "0a:00:00:00:00:01"},
       [](const StagedRoot& root) {
         writeFile(root.paths().clientsLock, "");
         std::string list = kyto::test::clientList(5000);
         writeFile(root.paths().clientsXml, list.substr(0, list.rfind("</UPNP_CLIENTS>")));
       }},
      {"treeshaper --add",
       {"treeshaper", "--add", "Music", "1", "3", "-o", "custom.xml"},
       [](const StagedRoot& root) {
         static const std::string tree = largeTemplate();
         writeFile(root.templatePath(), tree);
         writeFile(root.treeFile("custom.xml"), tree);
       }},
  };
  return all;
}

// Every file below the root with its content, and the temporary files among them.
struct Files {
  std::vector<std::pair<std::string, std::string>> content;
  std::vector<std::string> temporary;
};

Files filesOf(const StagedRoot& root) {
  Files files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path())) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) files.temporary.push_back(name);
    // A backup's name holds the time it was made: runs compare by what comes before.
    std::string path = entry.path().string();
    if (const auto at = path.find(".corrupt-"); at != std::string::npos) path.resize(at + 8);
    std::string content = readFile(entry.path().string());
    // So do the files of the list's history: their times and file identities differ from run
    // to run, the files are written whole or not at all.
    if (path.find("/clients.history/") != std::string::npos) content = "written";
    files.content.emplace_back(path, content);
  }
  std::sort(files.content.begin(), files.content.end());
  return files;
}

pid_t start(const StagedRoot& root, std::vector<std::string> args, int fileSizeLimitBlocks = 0) {
  args[0] = args[0] == "clientadm" ? KYTO_CLIENTADM_PATH : KYTO_TREESHAPER_PATH;
  if (fileSizeLimitBlocks > 0) {
    // As a shell's user would: the limit, and SIGXFSZ with its default action.
    args.insert(args.begin(),
                {"/bin/sh", "-c",
                 "ulimit -f " + std::to_string(fileSizeLimitBlocks) + "; exec \"$0\" \"$@\""});
  }
  const std::string rootVariable = "KYTO_ROOT=" + root.path();
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  char* envp[] = {const_cast<char*>(rootVariable.c_str()), nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), envp), 0);
  posix_spawn_file_actions_destroy(&quiet);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(Signals, AWriterEndedByASignalLeavesTheOldFilesOrTheNewOnes) {
  std::mt19937 random(20261209);
  for (const Writer& writer : writers()) {
    SCOPED_TRACE(writer.name);
    StagedRoot root;
    writer.stage(root);
    const Files before = filesOf(root);
    const auto begun = std::chrono::steady_clock::now();
    ASSERT_EQ(waitFor(start(root, writer.args)), 0);
    const auto runMicros = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - begun);
    const Files after = filesOf(root);
    // Mostly within the run's second half, where the files are written.
    std::uniform_int_distribution<long> delay(runMicros.count() * 2 / 5, runMicros.count() * 6 / 5);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      for (int round = 0; round < kRoundsPerSignal; ++round) {
        SCOPED_TRACE(std::string(strsignal(signal)) + ", round " + std::to_string(round));
        writer.stage(root);
        // What a completed run added: a backup, the history.
        std::filesystem::remove_all(root.paths().configDir + "clients.history");
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path()))
          if (entry.path().string().find(".corrupt-") != std::string::npos)
            std::filesystem::remove(entry.path());
        const pid_t pid = start(root, writer.args);
        usleep(static_cast<useconds_t>(delay(random)));
        kill(pid, signal);
        const int status = waitFor(pid);
        EXPECT_TRUE((WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
                    (WIFSIGNALED(status) && WTERMSIG(status) == signal))
            << status;
        const Files now = filesOf(root);
        EXPECT_EQ(now.temporary, std::vector<std::string>{});
        // Whole or new, never a mix: the files as staged, or as a completed run left them (a
        // corrupt list's complete backup with the new list).
        const bool old = now.content == before.content;
        EXPECT_TRUE(old || now.content == after.content) << "neither the old nor the new files";
      }
    }
  }
}

TEST(Signals, AFileSizeLimitIsAnOrdinaryFailure) {
  for (const Writer& writer : writers()) {
    SCOPED_TRACE(writer.name);
    StagedRoot root;
    writer.stage(root);
    const Files before = filesOf(root);
    const int status = waitFor(start(root, writer.args, kFileSizeLimitBlocks));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    const Files now = filesOf(root);
    EXPECT_EQ(now.temporary, std::vector<std::string>{});
    EXPECT_TRUE(now.content == before.content) << "a file changed or a partial backup was left";
  }
}

}  // namespace
