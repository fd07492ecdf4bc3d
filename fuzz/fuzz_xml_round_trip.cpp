// The XML reader and writer on arbitrary bytes: whatever the reader takes, the writer writes a
// document that the reader takes again as the same tree (elements, attributes and texts), and
// that writes again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "xml_node.h"

namespace {

// The elements below top in document order, each with its attributes and texts, one line each.
std::string shapeOf(const XMLNode& top) {
  std::string shape;
  std::vector<XMLNode> pending{top.getChildNode()};
  while (!pending.empty()) {
    XMLNode node = pending.back();
    pending.pop_back();
    if (node.isEmpty()) continue;
    pending.push_back(node.nextSibling());
    shape += node.getName();
    for (const auto& [name, value] : node.getAttributes())
      shape += std::string(" ") + name + "=" + value;
    for (int i = 0; node.getText(i) != nullptr; ++i)
      shape += std::string(" [") + node.getText(i) + "]";
    shape += "\n";
    pending.push_back(node.getChildNode());
  }
  return shape;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  XMLNode::FileReport report;
  const XMLNode first = XMLNode::parseDocument(bytes, report);
  if (first.isEmpty()) return 0;
  const std::string written = first.createXMLString();
  if (written.empty()) abort();
  const XMLNode second = XMLNode::parseDocument(written, report);
  // A CR in a CDATA section is written as a reference between two sections: the same characters
  // for any reader, but three texts where one was read.
  const bool crInCData = written.find("]]>&#13;<![CDATA[") != std::string::npos;
  if (second.isEmpty() || (!crInCData && shapeOf(second) != shapeOf(first))) abort();
  if (second.createXMLString() != written) abort();
  return 0;
}
