// The one way to stage a private appliance root and run the built programs against it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/appliance_paths.h"
#include "test_support.h"

namespace kyto::test {

// A fresh root laid out as the programs see it through KYTO_ROOT; empty until a test stages
// files in it, so that a test can also leave a directory out or put something odd in its place.
class StagedRoot {
 public:
  StagedRoot();

  const std::string& path() const { return dir_.path(); }
  std::string operator/(std::string_view relative) const { return dir_ / relative; }
  // Every appliance path below this root.
  const paths::AppliancePaths& paths() const { return paths_; }
  std::string treeFile(std::string_view name) const { return paths_.treeDir + std::string(name); }
  std::string templatePath() const { return treeFile(paths::kTreeTemplateName); }

  void makeConfigDir() const { makeDirs(paths_.configDir); }
  void makeTreeDir() const { makeDirs(paths_.treeDir); }

  // Runs a program ("clientadm", "treeshaper" or a path) with KYTO_ROOT set to this root.
  ProgramResult run(std::vector<std::string> args, std::vector<std::string> env = {},
                    std::string input = {}) const;
  // Runs it and returns its standard output; fails the test unless it exits with status.
  std::string output(std::vector<std::string> args, int status = 0) const;

 private:
  TempDir dir_;
  paths::AppliancePaths paths_;
};

// Runs a program ("clientadm", "treeshaper" or a path) with KYTO_ROOT set to root, for a root
// that is not a StagedRoot's own path (one reached through "/." steps, say).
ProgramResult runUnderRoot(const std::string& root, std::vector<std::string> args,
                           std::vector<std::string> env = {}, std::string input = {});

// The root of a test process that calls the library or the tools' code in-process. Paths are
// read from KYTO_ROOT once per process, so the process has this one root, exported as KYTO_ROOT
// at the first call; tests change the files below it, never the root.
const StagedRoot& processRoot();
const paths::AppliancePaths& processPaths();

// A test that starts from an emptied configuration directory below the process root.
class FreshProcessRoot : public ::testing::Test {
 protected:
  void SetUp() override;
};

}  // namespace kyto::test
