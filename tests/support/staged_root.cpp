#include "staged_root.h"

#include <stdlib.h>

#include <filesystem>

namespace kyto::test {

namespace {

std::string programPath(const std::string& name) {
  if (name == "clientadm") return KYTO_CLIENTADM_PATH;
  if (name == "treeshaper") return KYTO_TREESHAPER_PATH;
  return name;
}

}  // namespace

StagedRoot::StagedRoot() : paths_(paths::pathsUnder(dir_.path())) {}

ProgramResult StagedRoot::run(std::vector<std::string> args, std::vector<std::string> env,
                              std::string input) const {
  return runUnderRoot(path(), std::move(args), std::move(env), std::move(input));
}

std::string StagedRoot::output(std::vector<std::string> args, int status) const {
  const ProgramResult result = run(std::move(args));
  EXPECT_EQ(result.exitStatus, status) << "stdout: " << result.out << "stderr: " << result.err;
  return result.out;
}

ProgramResult runUnderRoot(const std::string& root, std::vector<std::string> args,
                           std::vector<std::string> env, std::string input) {
  args.at(0) = programPath(args.at(0));
  env.push_back("KYTO_ROOT=" + root);
  return runProgram({std::move(args), std::move(env), std::move(input)});
}

const StagedRoot& processRoot() {
  static const StagedRoot root;
  static const bool exported = setenv("KYTO_ROOT", root.path().c_str(), 1) == 0;
  (void)exported;
  return root;
}

const paths::AppliancePaths& processPaths() {
  return processRoot().paths();
}

void FreshProcessRoot::SetUp() {
  // Without its trailing slash, so that a link a test left in its place goes, not its target.
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(processPaths().clientsXml).parent_path(), ec);
  processRoot().makeConfigDir();
}

}  // namespace kyto::test
