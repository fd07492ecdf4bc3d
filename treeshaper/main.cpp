#include <libxml/parser.h>

#include "command_line.h"
#include "common/descriptors.h"

int main(int argc, char** argv) {
  const int status = kyto::treeshaper::parseCommandLine(argc, argv);
  // Once, at the very end: libxml2 must not be used after its global state is released.
  xmlCleanupParser();
  return kyto::statusAfterOutput(status, "treeshaper");
}
