#include "xml_well_formed.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kyto::xmlnode::checkWellFormed;

// Each rule of XML 1.0 that pugixml alone would not enforce, with a text on each side of it.
TEST(WellFormed, HoldsWhatXml10AllowsAndRefusesWhatItForbids) {
  const struct {
    const char* text;
    bool wellFormed;
  } cases[] = {
      {"<a/>", true},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><a/>", true},
      {"<?xml version=\"1.1\"?><a/>", true},
      {"<?xml version=\"0.9\"?><a/>", false},
      {"<?xml version=\"1.\"?><a/>", false},
      {"<?xml encoding=\"UTF-8\"?><a/>", false},
      {"<?xml version=\"1.0\" encoding=\"8bit\"?><a/>", false},
      {"<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", false},
      {"<?xml version=\"1.0\" standalone=\"no\" encoding=\"UTF-8\"?><a/>", false},
      {" <?xml version=\"1.0\"?><a/>", false},
      {"<a/><?xml version=\"1.0\"?>", false},
      {"<a x=\"1\" y=\"2\"/>", true},
      {"<a x=\"1\" x=\"2\"/>", false},
      {"<a x=\"1\"x=\"2\"/>", false},
      {"<a x=1/>", false},
      {"<a x=\"<\"/>", false},
      {"<a x=\"&amp;&lt;&gt;&quot;&apos;&#65;&#x10FFFF;\"/>", true},
      {"<a>&unknown;</a>", false},
      {"<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", true},
      {"<a>a & b</a>", false},
      {"<a>&#0;</a>", false},
      {"<a>&#xD800;</a>", false},
      {"<a>&#x110000;</a>", false},
      {"<a>\xC3\xA9\xF0\x9F\x98\x80</a>", true},
      {"<a>\xC3</a>", false},
      {"<a>\xC0\x80</a>", false},
      {"<a>\xED\xA0\x80</a>", false},
      {"<a>\xEF\xBF\xBE</a>", false},
      {"<a>\x01</a>", false},
      {"<a>]]></a>", false},
      {"<a><![CDATA[]]]]></a>", true},
      {"<a><!-- a - b --></a>", true},
      {"<a><!-- a -- b --></a>", false},
      {"<a><?pi x?><?XmL x?></a>", false},
      {"<a><b></a></b>", false},
      {"<a></A>", false},
      {"<1a/>", false},
      {"<a/>text", false},
      {"<a/><b/>", false},
      {"<!-- c --><a/>\n<?p?>", true},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(checkWellFormed(c.text).wellFormed, c.wellFormed);
  }
}

}  // namespace
