// The shared state behind XMLNode handles: one pugixml document and what is kept of its shape.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "xml_node.h"

struct XMLNode::Tree {
  // Forgets everything derived from the tree's shape; called on every change.
  void changed() { cursors.clear(); }

  // Where the last indexed lookup among one parent's children ended, so that visiting them by
  // rising index continues from there instead of starting over. The name is the found child's
  // own; anyName marks a walk over elements of every name.
  struct ChildCursor {
    pugi::xml_node_struct* node = nullptr;
    int index = 0;
    bool anyName = false;
  };

  pugi::xml_document doc;
  std::size_t parsedBytes = 0;  // the length of the text it was parsed from
  bool alive = true;            // false once the whole document was deleted
  // One cursor per parent whose children were walked past the first, so that walks over
  // different parents (a device's children between two devices) never reset each other.
  std::unordered_map<const void*, ChildCursor> cursors;
  // With lines kept: the offset of each newline of the parsed text, in order.
  bool linesKept = false;
  std::vector<std::size_t> newlines;
};

namespace kyto::xmlnode {

inline pugi::xml_node nodeOf(void* node) {
  return pugi::xml_node(static_cast<pugi::xml_node_struct*>(node));
}

// An element with this name; a null name matches any element.
inline bool isElementNamed(const pugi::xml_node& node, const char* name) {
  return node.type() == pugi::node_element &&
         (name == nullptr || std::strcmp(node.name(), name) == 0);
}

}  // namespace kyto::xmlnode
