#include "treeshaper_root.h"

#include <gtest/gtest.h>

namespace kyto::test {

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

TreeshaperRoot::TreeshaperRoot() : treeDir_(dir_ / "usr/local/corpus/bin/") {
  makeDirs(treeDir_);
}

ProgramResult TreeshaperRoot::run(const std::vector<std::string>& args) const {
  ProgramRun run;
  run.args.push_back(KYTO_TREESHAPER_PATH);
  run.args.insert(run.args.end(), args.begin(), args.end());
  run.env.push_back("KYTO_ROOT=" + root());
  return runProgram(run);
}

std::string TreeshaperRoot::output(const std::vector<std::string>& args, int status) const {
  const ProgramResult result = run(args);
  EXPECT_EQ(result.exitStatus, status) << "stdout: " << result.out << "stderr: " << result.err;
  return result.out;
}

}  // namespace kyto::test
