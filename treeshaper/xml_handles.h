// Owning handles for libxml2 objects, so every path out of a function releases them.
#pragma once

#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <memory>

namespace kyto {

struct XmlDocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocHandle = std::unique_ptr<xmlDoc, XmlDocDeleter>;

struct XmlNodeDeleter {
  void operator()(xmlNode* node) const { xmlFreeNode(node); }
};
// A node that is no longer linked into any tree.
using XmlNodeHandle = std::unique_ptr<xmlNode, XmlNodeDeleter>;

struct XmlStringDeleter {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlStringHandle = std::unique_ptr<xmlChar, XmlStringDeleter>;

// The value of an attribute of a node, or null when the node has no such attribute.
inline XmlStringHandle attributeValue(const xmlNode* node, const char* name) {
  return XmlStringHandle(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
}

}  // namespace kyto
