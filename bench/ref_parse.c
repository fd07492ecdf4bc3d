/* Reference for reading: parse an XML file with libxml2 and free it. */
#include <libxml/parser.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  xmlDocPtr doc = xmlReadFile(argv[1], NULL, XML_PARSE_NONET);
  if (doc == NULL) return 1;
  xmlFreeDoc(doc);
  xmlCleanupParser();
  return 0;
}
