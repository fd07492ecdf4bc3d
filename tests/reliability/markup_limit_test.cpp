// Every XML input of the programs keeps to the markup limits: an element with 256 attributes
// is read as ever, one with 257 is refused as a file that doesn't parse, or, in the agent's
// output, cut there as a cut text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "staged_root.h"

namespace {

using kyto::test::ProgramResult;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

// Attributes to make an element that already has `has` carry `total`.
std::string extraAttributes(int has, int total) {
  std::string text;
  for (int i = has; i < total; ++i) text += " x" + std::to_string(i) + "=\"" + "v\"";
  return text;
}

struct LimitCase {
  const char* input;
  int attributes;  // on the element that carries them
  int status;
  std::string out;
  std::string err;  // "{tree}" stands for the tree file's path
};

TEST(MarkupLimit, EveryInputReadsAnElementOf256AttributesAndRefuses257) {
  const std::string stored = "0|02:00:00:00:00:01||||-1||0\n";
  const std::string devices = "0|m1||||-1||2\n0|m2||||-1||2\n";
  const std::string treeListing = "1 Album\n";
  const LimitCase cases[] = {
      {"clients.xml", 256, 0, stored, ""},
      {"clients.xml", 257, 0, "", ""},
      {"agent output", 256, 0, devices, ""},
      // The devices before the cut element, and that one as far as the cut goes: no MAC. The cut
      // is said, as a cut at the size cap or the time limit is.
      {"agent output", 257, 0, "0|||||-1||2\n0|m1||||-1||2\n",
       "Warning: the agent's output was cut at a markup limit (more than 256 attributes in one "
       "element); the devices before the cut are listed\n"},
      {"tree file", 256, 0, treeListing, ""},
      {"tree file", 257, 1, "pdoc is NULL\nproot is NULL\n",
       "{tree}: more than 256 attributes in one element\n"},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(std::string(c.input) + ", " + std::to_string(c.attributes) + " attributes");
    StagedRoot root;
    const std::string input = c.input;
    ProgramResult r;
    if (input == "clients.xml") {
      const std::string list = root.paths().clientsXml;
      const std::string content = "<UPNP_CLIENTS><CLIENT MAC=\"02:00:00:00:00:01\"" +
                                  extraAttributes(1, c.attributes) + "/></UPNP_CLIENTS>";
      writeFile(list, content);
      r = root.run({"clientadm", "list"});
      // A list beyond a limit may well be sound: add leaves it as it is.
      const bool within = c.attributes <= 256;
      EXPECT_EQ(root.run({"clientadm", "add", "-m", "02:00:00:00:00:02"}).exitStatus,
                within ? 0 : 1);
      if (!within) {
        EXPECT_EQ(kyto::test::readFile(list), content);
      }
    } else if (input == "agent output") {
      root.makeConfigDir();
      writeFile(root / "agent.out", "<root><device><mac>m1</mac></device><device" +
                                        extraAttributes(0, c.attributes) +
                                        "><mac>m2</mac></device></root>");
      const std::string agent = root.paths().halyardAgent;
      writeFile(agent, "#!/bin/sh\nexec cat \"$KYTO_ROOT/agent.out\"\n");
      ASSERT_EQ(chmod(agent.c_str(), 0755), 0);
      r = root.run({"clientadm", "list"});
    } else {
      writeFile(root / "tree.xml", "<T><TYPE NAME=\"Music\"" + extraAttributes(1, c.attributes) +
                                       "><A ID=\"0x1\" NAME=\"Album\"/></TYPE></T>");
      r = root.run({"treeshaper", "--read", root / "tree.xml", "Music"});
    }
    EXPECT_EQ(r.exitStatus, c.status);
    EXPECT_EQ(r.out, c.out);
    std::string err = c.err;
    if (err.starts_with("{tree}")) err.replace(0, 6, root / "tree.xml");
    EXPECT_EQ(r.err, err);
  }
}

}  // namespace
