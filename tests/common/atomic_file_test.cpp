#include "common/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>

#include "test_support.h"

namespace {

using kyto::test::TempDir;

// Links are laid out by the table, then the path is looked up as a write would look it up.
TEST(FindWriteTarget, FollowsLinksAsTheKernelDoesOrRefuses) {
  TempDir dir;
  kyto::test::writeFile(dir / "real/out.xml", "x");
  kyto::test::makeDirs(dir / "empty");
  const std::string realDir = dir / "real";
  ASSERT_EQ(symlink("real/out.xml", (dir / "rel").c_str()), 0);
  ASSERT_EQ(symlink((dir / "real/new.xml").c_str(), (dir / "dangling").c_str()), 0);
  ASSERT_EQ(symlink("dangling", (dir / "to-dangling").c_str()), 0);
  ASSERT_EQ(symlink("missing/new.xml", (dir / "into-missing").c_str()), 0);
  ASSERT_EQ(symlink("loop", (dir / "loop").c_str()), 0);
  ASSERT_EQ(symlink(".", (dir / "d").c_str()), 0);
  // More links on the way than the kernel follows in one lookup.
  std::string deep;
  for (int i = 0; i < 41; ++i) deep += "d/";
  ASSERT_EQ(symlink((deep + "real/out.xml").c_str(), (dir / "deep").c_str()), 0);

  const struct {
    std::string path;
    int error;
    std::string target;
  } cases[] = {
      {dir / "real/out.xml", 0, realDir + "/out.xml"},
      {dir / "real/../real/./out.xml", 0, realDir + "/out.xml"},
      {dir / "rel", 0, realDir + "/out.xml"},
      {dir / "d/d/real/new.xml", 0, realDir + "/new.xml"},
      {dir / "dangling", 0, realDir + "/new.xml"},
      {dir / "to-dangling", 0, realDir + "/new.xml"},
      {dir / "into-missing", ENOENT, ""},
      {dir / "missing/x.xml", ENOENT, ""},
      {dir / "loop", ELOOP, ""},
      {dir / "deep", ELOOP, ""},
      {dir / "empty", 0, dir / "empty"},
      {dir / "real/", 0, realDir},
      {dir / "real/.", 0, realDir},
      {dir / "real/out.xml/", ENOTDIR, ""},
      {dir / "real/none/", EISDIR, ""},
      {dir / "real/..", EISDIR, ""},
  };
  for (const auto& c : cases) {
    kyto::WriteTarget target;
    EXPECT_EQ(kyto::findWriteTarget(c.path, target), c.error) << c.path;
    if (c.error == 0) {
      EXPECT_EQ(target.path(), c.target) << c.path;
    }
  }
}

// An editor saves by writing a copy and renaming it over the file; a write that found the file
// before still replaces the file of that name, and no file of another name appears.
TEST(ReplaceTarget, WritesTheNamedFileThoughItWasRenamedOverMeanwhile) {
  TempDir dir;
  kyto::test::writeFile(dir / "clients.xml", "old");
  kyto::WriteTarget target;
  ASSERT_EQ(kyto::findWriteTarget(dir / "clients.xml", target), 0);
  kyto::test::writeFile(dir / ".edit", "edited");
  ASSERT_EQ(rename((dir / ".edit").c_str(), (dir / "clients.xml").c_str()), 0);
  ASSERT_EQ(kyto::replaceTarget(target, "new"), 0);
  EXPECT_EQ(kyto::test::readFile(dir / "clients.xml"), "new");
  EXPECT_EQ(kyto::test::listDir(dir.path()), std::vector<std::string>{"clients.xml"});
}

TEST(ReplaceFileAtomically, LeavesWhatIsNoRegularFileAlone) {
  TempDir dir;
  kyto::test::makeDirs(dir / "dir");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(kyto::replaceFileAtomically(dir / "dir", "x"), EISDIR);
  EXPECT_EQ(kyto::replaceFileAtomically(dir / "fifo", "x"), EINVAL);
  EXPECT_EQ(kyto::test::listDir(dir.path()), (std::vector<std::string>{"dir", "fifo"}));
}

TEST(ReplaceFileAtomically, KeepsAnOldFilesModeAndCreatesNewOnes0644WhateverTheUmask) {
  TempDir dir;
  kyto::test::writeFile(dir / "old", "old");
  ASSERT_EQ(chmod((dir / "old").c_str(), 0640), 0);
  for (const mode_t mask : {0000, 0077}) {
    const mode_t saved = umask(mask);
    const std::string fresh = dir / ("new-" + std::to_string(mask));
    const int oldRc = kyto::replaceFileAtomically(dir / "old", "new");
    const int newRc = kyto::replaceFileAtomically(fresh, "new");
    umask(saved);
    ASSERT_EQ(oldRc, 0);
    ASSERT_EQ(newRc, 0);
    struct stat st;
    ASSERT_EQ(stat((dir / "old").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << "umask " << mask;
    EXPECT_EQ(kyto::test::readFile(fresh), "new");
  }
}

// A copy is a file of its own: a later change of the source, in place, does not reach it. A source
// on another file system (a memfd) is copied through a buffer, more than one piece of it.
TEST(CopyToTarget, MakesAFileOfItsOwnWithTheGivenAccess) {
  TempDir dir;
  std::string content;
  for (int i = 0; content.size() < 2'500'000; ++i) content += std::to_string(i) + "\n";
  kyto::test::writeFile(dir / "source", content);
  const kyto::UniqueFd memory(memfd_create("source", MFD_CLOEXEC));
  ASSERT_EQ(kyto::writeAll(memory.get(), content), 0);
  const kyto::UniqueFd file(open((dir / "source").c_str(), O_RDONLY | O_CLOEXEC));
  for (const int source : {file.get(), memory.get()}) {
    kyto::WriteTarget target;
    ASSERT_EQ(kyto::findWriteTarget(dir / "copy", target), 0);
    ASSERT_EQ(kyto::copyToTarget(target, source, {geteuid(), getegid(), 0600}), 0);
    EXPECT_EQ(kyto::test::readFile(dir / "copy"), content);
    struct stat copy;
    ASSERT_EQ(stat((dir / "copy").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_nlink, 1u);
    EXPECT_EQ(copy.st_mode & 07777, 0600u);
  }
  std::ofstream(dir / "source", std::ios::in | std::ios::out) << "changed in place";
  EXPECT_EQ(kyto::test::readFile(dir / "copy"), content);
  EXPECT_EQ(kyto::test::listDir(dir.path()), (std::vector<std::string>{"copy", "source"}));
}

// A temporary file left by a write that never came is told by its name, and only for its target.
TEST(TemporaryNames, AreTheWritersOwnForTheirTargetOnly) {
  TempDir dir;
  kyto::WriteTarget target;
  ASSERT_EQ(kyto::findWriteTarget(dir / "clients.xml", target), 0);
  std::vector<std::string> seen;
  ASSERT_EQ(kyto::replaceTarget(
                target, "x", [&](const struct stat&) { seen = kyto::test::listDir(dir.path()); }),
            0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(kyto::isTemporaryFor(seen[0], "clients.xml"));
  EXPECT_EQ(kyto::temporaryTargetOf(seen[0]), "clients.xml");
  EXPECT_FALSE(kyto::isTemporaryFor(seen[0], "clients.xm"));
  for (const char* name :
       {"clients.xml", ".clients.xml.tmp-abc", "clients.xml.tmp-abcdef", ".clients.xml.tmp-ab-def",
        ".clients.xml.tmp-abcdefg", ".tmp-abcdef", ".clients.xml~tmp-abcdef"}) {
    EXPECT_FALSE(kyto::isTemporaryFor(name, "clients.xml")) << name;
    EXPECT_EQ(kyto::temporaryTargetOf(name), "") << name;
  }
}

// A signal raised while deferred stays pending; the writes give up only for the termination
// signals, and not while an UncutWrites lives.
TEST(TerminationPending, SeesOnlyTheTerminationSignalsOutsideUncutWrites) {
  const struct {
    int signal;
    bool terminates;
  } cases[] = {{SIGHUP, true}, {SIGINT, true}, {SIGQUIT, true}, {SIGTERM, true}, {SIGUSR1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, c.signal);
    sigset_t saved;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &one, &saved), 0);
    EXPECT_FALSE(kyto::terminationPending());
    ASSERT_EQ(raise(c.signal), 0);
    EXPECT_EQ(kyto::terminationPending(), c.terminates);
    {
      const kyto::UncutWrites uncut;
      EXPECT_FALSE(kyto::terminationPending());
    }
    const timespec now{};
    EXPECT_EQ(sigtimedwait(&one, nullptr, &now), c.signal);
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  }
}

}  // namespace
