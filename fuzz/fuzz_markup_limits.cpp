// The markup scanner on arbitrary input: however the input is split into pieces, it stops at the
// same byte for the same reason, and what it passes parses within the limits.
#include <libxml/parser.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "markup_limits.h"
#include "xml_diagnostics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kyto::xml::MarkupScanner whole, bytewise;
  const std::size_t passed = whole.scan(text.data(), text.size());
  std::size_t passedBytewise = 0;
  while (passedBytewise < text.size() && bytewise.scan(&text[passedBytewise], 1) == 1) {
    ++passedBytewise;
  }
  if (passed > size || passedBytewise != passed || bytewise.breach() != whole.breach()) abort();
  if ((passed == size) != (whole.breach() == kyto::xml::MarkupBreach::kNone)) abort();

  const auto parsed = kyto::parseXmlText(
      text, XML_PARSE_RECOVER | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET);
  // The parse may end earlier, at libxml2's first error, but never for another reason.
  if (parsed.breach != kyto::xml::MarkupBreach::kNone && parsed.breach != whole.breach()) abort();
  xmlFreeDoc(parsed.doc);
  return 0;
}
