// The well-formedness check on arbitrary text, against libxml2's parser: both must find the same
// documents well-formed. Where XML 1.0 leaves libxml2 a choice or libxml2 strays from it, the
// text is passed over (see comparable()), so every difference left is a fault of one of them.
#include <libxml/parser.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "xml_well_formed.h"

namespace {

// A document type's internal subset is checked only as far as the check says, and a declared
// encoding makes libxml2 read other bytes than the check, and libxml2 takes a NUL byte after the
// root element for the end of the text, where XML 1.0 allows no NUL: such texts prove nothing.
bool comparable(std::string_view text) {
  return text.find('\0') == std::string_view::npos &&
         text.find("<!DOCTYPE") == std::string_view::npos &&
         text.find("encoding") == std::string_view::npos && !text.starts_with("\xEF\xBB\xBF");
}

bool libxml2FindsWellFormed(std::string_view text) {
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (context == nullptr) abort();
  xmlDocPtr doc =
      xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  const bool wellFormed = doc != nullptr && context->wellFormed != 0;
  xmlFreeDoc(doc);
  xmlFreeParserCtxt(context);
  return wellFormed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!comparable(text)) return 0;
  const kyto::xmlnode::WellFormedness ours = kyto::xmlnode::checkWellFormed(text);
  // libxml2 only warns of a version "1." without digits, which XML 1.0 forbids.
  const bool libxml2Lenient = ours.problem == "an XML declaration with an invalid version";
  if (ours.wellFormed != libxml2FindsWellFormed(text) && !libxml2Lenient) {
    std::fprintf(stderr, "the check says %s (%s at %zu), libxml2 the opposite\n",
                 ours.wellFormed ? "well-formed" : "not well-formed", ours.problem.c_str(),
                 ours.offset);
    abort();
  }
  return 0;
}
