// The markup limits on both sides: what is within them parses, what breaks one is cut before
// the markup that breaks it and refused.
#include <libxml/parser.h>

#include <gtest/gtest.h>

#include <string>

#include "libxml2_parse.h"
#include "markup_limits.h"
#include "test_support.h"

namespace kyto::xml {
namespace {

using namespace std::string_literals;

// n attributes whose values hold "=", ">" and the other quote, which count for nothing.
std::string attributes(int n, const std::string& prefix = "a") {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += " " + prefix + std::to_string(i) + (i % 2 == 0 ? "=\"x='>'\"" : "='y=\">\"'");
  }
  return text;
}

// n namespace declarations, every other one with blanks around its "=".
std::string namespaces(int n, const std::string& prefix) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += " xmlns:" + prefix + std::to_string(i) + (i % 2 == 0 ? "=" : " =\n ") + "\"urn:x\"";
  }
  return text;
}

std::string nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) open += "<e>", close += "</e>";
  return open + close;
}

std::string repeated(const std::string& text, int n) {
  std::string all;
  for (int i = 0; i < n; ++i) all += text;
  return all;
}

struct Case {
  const char* name;
  std::string text;
  MarkupBreach breach;  // kNone: the document parses
};

std::vector<Case> cases() {
  const std::string overLimit = "<x" + attributes(kMaxAttributesPerElement + 1) + "/>";
  return {
      {"256 attributes", "<r" + attributes(256) + "/>", MarkupBreach::kNone},
      {"257 attributes", "<r" + attributes(257) + "/>", MarkupBreach::kTooManyAttributes},
      // libxml2 bounds the depth itself.
      {"257 open elements", nested(257), MarkupBreach::kNone},
      {"64 namespaces in scope",
       "<r" + namespaces(32, "a") + "><s" + namespaces(32, "b") + "/></r>", MarkupBreach::kNone},
      {"65 namespaces in scope",
       "<r" + namespaces(32, "a") + "><s xmlns=\"urn:d\"" + namespaces(32, "b") + "/></r>",
       MarkupBreach::kTooManyNamespaces},
      {"closed elements take their namespaces",
       "<r" + namespaces(32, "a") + "><s" + namespaces(32, "b") + "></s><s" + namespaces(32, "b") +
           "/><s" + namespaces(32, "b") + "/></r>",
       MarkupBreach::kNone},
      {"comment, PI and CDATA hide nothing",
       "<?pi " + overLimit + "?><!-- " + overLimit + " --><r><![CDATA[" + overLimit + "]]></r>",
       MarkupBreach::kNone},
      {"document type without defaults or parameter entities",
       "<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED><!ENTITY c \"&#169;&#38;#60;\">"
       "<!-- % \" --><?pi % ' ?>]><r>&c;</r>",
       MarkupBreach::kNone},
      {"literal of the document type", "<!DOCTYPE r SYSTEM \"x[y>\">" + overLimit,
       MarkupBreach::kTooManyAttributes},
      {"attribute default", "<!DOCTYPE r [<!ATTLIST r a CDATA 'x'>]><r/>",
       MarkupBreach::kDefaultAttribute},
      {"parameter entity", "<!DOCTYPE r [<!ENTITY % p \"\">]><r/>", MarkupBreach::kParameterEntity},
      {"parameter entity reference", "<!DOCTYPE r [ %p; ]><r/>", MarkupBreach::kParameterEntity},
      // libxml2 bounds what entities expand to itself.
      {"markup in an entity", "<!DOCTYPE r [<!ENTITY e \"<b/>\">]><r>&e;</r>", MarkupBreach::kNone},
      {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9</r>",
       MarkupBreach::kNone},
      {"UTF-8 after many blanks",
       "<?xml version=\"1.0\"" + std::string(300, ' ') + "encoding='utf-8'?><r/>",
       MarkupBreach::kNone},
      {"GBK", "<?xml version='1.0' encoding='GBK'?><r>\x81\x5b</r>", MarkupBreach::kNone},
      // The second byte of a character of two is no "[", and 0xB1 is a character of one byte.
      {"Shift_JIS, two bytes",
       "<?xml version='1.0' encoding='Shift_JIS'?><!DOCTYPE r\x81\x5b>" + overLimit,
       MarkupBreach::kTooManyAttributes},
      {"Shift_JIS, one byte", "<?xml version='1.0' encoding='Shift_JIS'?><!--\xb1-->" + overLimit,
       MarkupBreach::kTooManyAttributes},
      {"UTF-16 by its byte order mark", "\xff\xfe<\0r\0/\0>\0"s, MarkupBreach::kNone},
      {"UTF-16 over the limit",
       "\xff\xfe"s +
           [&] {
             std::string wide;
             for (const char c : overLimit) wide += std::string{c, '\0'};
             return wide;
           }(),
       MarkupBreach::kTooManyAttributes},
      {"an encoding nobody knows", "<?xml version='1.0' encoding='X-NONE'?><r/>",
       MarkupBreach::kEncoding},
      {"long declaration", "<?xml version=\"1.0\"" + std::string(100'000, ' ') + "?><r/>",
       MarkupBreach::kNone},
  };
}

constexpr int kFileOptions = XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET;

TEST(MarkupLimits, AcceptWhatIsWithinAndCutAtTheFirstByteBeyond) {
  kyto::test::TempDir dir;
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const MarkupCheck check = checkMarkup(c.text);
    EXPECT_EQ(check.breach, c.breach);
    EXPECT_EQ(check.passable == c.text.size(), c.breach == MarkupBreach::kNone);

    const std::string path = dir / "f.xml";
    kyto::test::writeFile(path, c.text);
    const xml::XmlFileParse file = xml::parseXmlFile(path, kFileOptions);
    const bool within = c.breach == MarkupBreach::kNone;
    EXPECT_EQ(file.doc != nullptr, within);
    EXPECT_EQ(file.breach, c.breach);
    EXPECT_EQ(file.beyondLimits, !within);
    if (!within) {
      EXPECT_EQ(file.diagnostic, path + ": " + describeBreach(c.breach));
    }
    xmlFreeDoc(file.doc);

    const xml::XmlFileParse text = xml::parseXmlText(c.text, kFileOptions | XML_PARSE_RECOVER);
    EXPECT_EQ(text.breach, c.breach);
    xmlFreeDoc(text.doc);
  }
}

// Recovery makes of the input what it makes of a text cut at the byte that breaks a limit: the
// elements before and the start of the one cut. After libxml2's first error, which it would
// recover from where the scanner can't follow, the input ends within the next piece.
TEST(MarkupLimits, RecoveryKeepsWhatCameBeforeTheCutOrTheFirstError) {
  const struct {
    std::string text;
    int most;  // children of the root at most
  } cases[] = {
      {"<r><a/><a/><x" + attributes(300) + "/>" + repeated("<a/>", 5000) + "</r>", 3},
      {"<r><a/>&undefined;" + repeated("<a/>", 5000) + "</r>", 2500},
  };
  for (const auto& c : cases) {
    const xml::XmlFileParse r = xml::parseXmlText(c.text, kFileOptions | XML_PARSE_RECOVER);
    ASSERT_NE(r.doc, nullptr);
    const auto children = xmlChildElementCount(xmlDocGetRootElement(r.doc));
    EXPECT_GE(children, 1u);
    EXPECT_LE(children, static_cast<unsigned>(c.most));
    xmlFreeDoc(r.doc);
  }
}

}  // namespace
}  // namespace kyto::xml
