// Helpers shared by the test suites: private temporary roots and running built programs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kyto::test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything below it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() joined with a relative name.
  std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// Writes a file, creating its parent directories. Fails the current test on error.
void writeFile(const std::string& path, std::string_view content);
// The whole content of a file; fails the current test when it can't be read.
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// Creates a directory and its parents.
void makeDirs(const std::string& path);
// Names of the entries of a directory, sorted, without "." and "..".
std::vector<std::string> listDir(const std::string& path);

struct ProgramResult {
  int exitStatus = -1;  // exit status, or 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};

struct ProgramRun {
  std::vector<std::string> args;  // args[0] is the program path
  // Extra "NAME=value" entries; they override the same names of the test's environment.
  std::vector<std::string> env;
  std::string input;  // written to the program's standard input
};

// Whether a child process is still running after period: it did not get past what holds it (a
// lock another process holds, say). When it ended meanwhile, *status gets its wait status.
bool stillRunningAfter(int child, int periodMilliseconds, int* status);

// Runs a program to its end and collects its output. Fails the current test when it can't start.
// When KYTO_TEST_WRAPPER is set, its words are put before the program (a memory checker).
ProgramResult runProgram(const ProgramRun& run);

}  // namespace kyto::test
