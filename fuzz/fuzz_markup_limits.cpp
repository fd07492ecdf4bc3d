// The markup pass on arbitrary input: it passes all of an input within the limits and stops
// before any that breaks one, and the parse behind it ends early for no other reason.
#include <libxml/parser.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "libxml2_parse.h"
#include "markup_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kyto::xml::MarkupCheck check = kyto::xml::checkMarkup(text);
  if (check.passable > size) abort();
  if ((check.passable == size) != (check.breach == kyto::xml::MarkupBreach::kNone) &&
      check.breach != kyto::xml::MarkupBreach::kMalformed)
    abort();

  const auto parsed = kyto::xml::parseXmlText(
      text, XML_PARSE_RECOVER | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET);
  // The parse may end earlier, at libxml2's first error, but never for another reason.
  if (parsed.breach != kyto::xml::MarkupBreach::kNone && parsed.breach != check.breach) abort();
  xmlFreeDoc(parsed.doc);
  return 0;
}
