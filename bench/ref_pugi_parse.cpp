// Reference for reading with pugixml: parse an XML file with its default settings and free it.
#include <pugixml.hpp>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  pugi::xml_document doc;
  return doc.load_file(argv[1]) ? 0 : 1;
}
