// A private appliance root for running the built treeshaper end to end.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

namespace kyto::test {

class TreeshaperRoot {
 public:
  TreeshaperRoot();

  const std::string& root() const { return dir_.path(); }
  // The tree directory under the root, ending in "/".
  const std::string& treeDir() const { return treeDir_; }
  std::string treeFile(const std::string& name) const { return treeDir_ + name; }
  std::string templatePath() const { return treeFile("UPnPTree.xml"); }

  void writeTemplate(const std::string& content) const { writeFile(templatePath(), content); }

  // Runs treeshaper with the arguments under this root.
  ProgramResult run(const std::vector<std::string>& args) const;
  // Runs it and returns its standard output; fails the test unless it exits with status.
  std::string output(const std::vector<std::string>& args, int status = 0) const;

 private:
  TempDir dir_;
  std::string treeDir_;
};

// The usage text, exactly as the program prints it.
extern const char kUsageText[];

}  // namespace kyto::test
