// The shared state behind XMLNode handles and the libxml2 node helpers they use.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <deque>
#include <string>
#include <unordered_map>

#include "xml_node.h"

// One parsed or created document, shared by every handle into it.
struct XMLNode::Tree {
  explicit Tree(xmlDocPtr document) : doc(document) {}
  ~Tree() {
    if (doc != nullptr) xmlFreeDoc(doc);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // Forgets everything derived from the tree's shape; called on every change.
  void changed() { cursors.clear(); }

  // Where the last indexed lookup among one parent's children ended, so that visiting them by
  // rising index continues from there instead of starting over. The name is the found child's
  // own; anyName marks a walk over elements of every name.
  struct ChildCursor {
    xmlNodePtr node = nullptr;
    int index = 0;
    bool anyName = false;

    // Whether a lookup of this name and index can start here rather than at the first child.
    bool leadsTo(const char* name, int wanted) const {
      if (index > wanted) return false;
      if (name == nullptr) return anyName;
      return !anyName && xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name));
    }
  };

  xmlDocPtr doc;
  // One cursor per parent whose children were walked past the first, so that walks over
  // different parents (a device's children between two devices) never reset each other.
  std::unordered_map<const void*, ChildCursor> cursors;
  // Attribute values made of several parts, joined once and kept for the life of the tree
  // (a deque never moves its elements, so the returned pointers stay valid).
  std::deque<std::string> joinedValues;
};

namespace kyto::xmlnode {

// No entity expansion, no network, and no messages: a bad file is reported by the result only.
// Short texts are kept inside their nodes (COMPACT), which saves an allocation for most
// attribute values of a large client list; libxml2 frees, unlinks and serialises such nodes like
// any other, and XMLNode never changes a parsed text in place. clientadm's configuration check
// parses with the same options, so that it finds a file well-formed exactly when the reader does.
inline constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR |
                                     XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

// The value of an attribute as one text: its parts joined, entity references kept as written
// (entities are never expanded).
std::string joinValueParts(const xmlAttr* attribute);

inline bool isDocument(const void* node) {
  return static_cast<const xmlNode*>(node)->type == XML_DOCUMENT_NODE;
}

inline xmlNodePtr firstChildOf(void* node) {
  return isDocument(node) ? static_cast<xmlDocPtr>(node)->children
                          : static_cast<xmlNodePtr>(node)->children;
}

// Whether a node's or an attribute's name is this (non-null) text, as xmlStrEqual tells, but
// inline: a walk over a large list compares millions of names, nearly all of which differ at
// their first byte, and a call into libxml2 for each cost more than the comparing.
inline bool hasName(const xmlChar* name, const char* wanted) {
  if (name == nullptr) return false;
  for (const auto* w = reinterpret_cast<const xmlChar*>(wanted); *name == *w; ++name, ++w) {
    if (*name == '\0') return true;
  }
  return false;
}

// An element with this name; a null name matches any element.
inline bool isElementNamed(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && (name == nullptr || hasName(node->name, name));
}

// The first element with this name among first, its following siblings and their descendants,
// in document order.
xmlNodePtr findFirstElement(xmlNodePtr first, const char* name);

}  // namespace kyto::xmlnode
