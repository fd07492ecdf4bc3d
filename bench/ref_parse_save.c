/* Reference for rewriting: parse an XML file with libxml2 and save it to another file. */
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s IN OUT\n", argv[0]);
    return 2;
  }
  xmlDocPtr doc = xmlReadFile(argv[1], NULL, XML_PARSE_NONET);
  if (doc == NULL) return 1;
  int written = xmlSaveFile(argv[2], doc);
  xmlFreeDoc(doc);
  xmlCleanupParser();
  return written < 0 ? 1 : 0;
}
