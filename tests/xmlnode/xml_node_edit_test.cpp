#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml_node.h"

namespace {

std::vector<std::string> childIds(const XMLNode& parent, const char* name) {
  std::vector<std::string> ids;
  for (int i = 0; i < parent.nChildNode(name); ++i)
    ids.emplace_back(parent.getChildNode(name, i).getAttribute("id"));
  return ids;
}

XMLNode listOf(const char* ids) {
  std::string text = "<r>";
  for (const char* id = ids; *id != '\0'; ++id) text += std::string("<c id=\"") + *id + "\"/>";
  return XMLNode::parseString((text + "</r>").c_str(), "r");
}

TEST(Handles, CopiesShareTheElement) {
  XMLNode r = listOf("ab");
  XMLNode copy = r.getChildNode("c", 1);
  XMLNode same = copy;
  same.addAttribute("extra", "1");
  EXPECT_STREQ(r.getChildNode("c", 1).getAttribute("extra"), "1");
}

TEST(Handles, TheTreeLivesAsLongAsAnyHandle) {
  XMLNode child;
  const char* id = nullptr;
  {
    XMLNode top = XMLNode::parseString("<r><c id=\"kept\"/></r>");
    child = top.getChildNode("r").getChildNode("c");
    id = child.getAttribute("id");
  }
  // Under AddressSanitizer a freed tree would fail here.
  EXPECT_STREQ(id, "kept");
  EXPECT_STREQ(child.getAttribute("id"), "kept");
}

TEST(Delete, RemovesTheSubtreeAndKeepsIndexedVisitsRight) {
  XMLNode r = listOf("abcd");
  XMLNode b = r.getChildNode("c", 1);
  b.deleteNodeContent();
  EXPECT_TRUE(b.isEmpty());
  EXPECT_EQ(childIds(r, "c"), (std::vector<std::string>{"a", "c", "d"}));
  EXPECT_STREQ(r.getChildNode("c", 2).getAttribute("id"), "d");
}

TEST(Delete, OnTheTopFreesTheWholeDocument) {
  XMLNode top = XMLNode::parseString("<r><c id=\"a\"/></r>");
  XMLNode r = top.getChildNode("r");
  top.deleteNodeContent();
  EXPECT_TRUE(top.isEmpty());
  // A handle into the freed document answers nothing instead of reading freed memory.
  EXPECT_EQ(r.nChildNode("c"), 0);
  EXPECT_EQ(r.getAttribute("id"), nullptr);
}

TEST(AddChild, AppendsAfterTheLastChild) {
  XMLNode r = listOf("ab");
  r.addChild("c").addAttribute("id", "c");
  EXPECT_EQ(childIds(r, "c"), (std::vector<std::string>{"a", "b", "c"}));
}

// A walk that removes children as it goes, as del does, steps past each removed one.
TEST(NextSibling, WalksPastRemovedChildren) {
  XMLNode r = listOf("abcab");
  for (XMLNode c = r.getChildNode("c"); !c.isEmpty();) {
    XMLNode next = c.nextSibling("c");
    if (std::string(c.getAttribute("id")) == "a") c.deleteNodeContent();
    c = next;
  }
  EXPECT_EQ(childIds(r, "c"), (std::vector<std::string>{"b", "c", "b"}));
}

TEST(AddAttribute, CopiesItsStringsAndAppends) {
  XMLNode r = listOf("");
  XMLNode c = r.addChild("c");
  std::string name = "key", value = "v1";
  c.addAttribute(name.c_str(), value.c_str());
  name = "xxx";
  value = "xx";
  EXPECT_STREQ(c.getAttribute("key"), "v1");
  c.addAttribute("empty", nullptr);
  EXPECT_STREQ(c.getAttribute("empty"), "");
}

TEST(TopNode, DeclarationAttributesAreReadBack) {
  XMLNode top = XMLNode::createXMLTopNode("xml", true);
  top.addAttribute("version", "1.0");
  top.addAttribute("encoding", "UTF-8");
  EXPECT_STREQ(top.getAttribute("version"), "1.0");
  EXPECT_STREQ(top.getAttribute("encoding"), "UTF-8");
  XMLNode plain = XMLNode::createXMLTopNode("root");
  plain.addChild("c");
  EXPECT_EQ(plain.nChildNode("c"), 1);
}

}  // namespace
