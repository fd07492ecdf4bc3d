/* Reference for start-up: a process that starts, initialises libxml2 and exits. */
#include <libxml/parser.h>

int main(void) {
  xmlInitParser();
  xmlCleanupParser();
  return 0;
}
