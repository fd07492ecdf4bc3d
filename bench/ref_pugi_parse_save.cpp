// Reference for rewriting with pugixml: parse an XML file and save it indented to another file.
#include <pugixml.hpp>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IN OUT\n", argv[0]);
    return 2;
  }
  pugi::xml_document doc;
  if (!doc.load_file(argv[1])) return 1;
  return doc.save_file(argv[2], "  ") ? 0 : 1;
}
