// The tree behind XMLNode handles: nodes linked to their parent and siblings, all of them and
// their strings in one arena that goes with the tree, so that a tree of any shape is built and
// freed without a step per node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string_view>

#include "common/large_pages.h"
#include "xml_node.h"

struct XMLNode::Node {
  enum class Kind : std::uint8_t {
    kDocument,
    kElement,
    kText,
    kCData,
    kComment,
    kPi,
    kDoctype,    // the whole document type declaration, as read
    kReference,  // a reference to an external entity, which is never loaded: kept as written
  };
  struct Attribute {
    const char* name;
    const char* value;
    Attribute* next;
    std::uint32_t valueLength;  // a file is at most kMostXmlFileBytes
    bool specified;  // false for a default of the document type, which a rewrite leaves to it
  };

  explicit Node(Kind k) : kind(k) {}

  Kind kind;
  bool whiteOnly = false;  // a text of white space alone
  std::int32_t line = 0;
  const char* name = "";   // element, processing instruction target
  const char* value = "";  // text, comment, instruction data, declaration, reference
  Attribute* firstAttribute = nullptr;
  Attribute* lastAttribute = nullptr;
  Node* parent = nullptr;
  Node* firstChild = nullptr;
  Node* lastChild = nullptr;
  Node* next = nullptr;
  Node* previous = nullptr;
};

struct XMLNode::Tree {
  // One read from a text of this many bytes (0: not known): its arena starts with one block for
  // all of it.
  explicit Tree(std::size_t textBytes = 0);
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // A NUL-terminated copy of text in the arena.
  const char* copy(std::string_view text);
  Node* newNode(Node::Kind kind);
  void append(Node* parent, Node* child);
  void addAttribute(Node* node, std::string_view name, std::string_view value, bool specified);
  // The same with a name already in the arena.
  void addStoredAttribute(Node* node, const char* storedName, std::string_view value,
                          bool specified);
  static void unlink(Node* node);

  kyto::SizedArena arena;
  Node document{Node::Kind::kDocument};  // its attributes are those of the XML declaration
  bool alive = true;                     // false once the whole document was deleted
  std::size_t readBytes = 0;             // the size of the text it was read from
  bool linesKept = false;
  bool doctypeExpanded = false;  // its document type holds what parameter entities stood for
};

namespace kyto::xml {

// What a read that ran out of memory reports.
XMLNode::FileReport memoryRanOut();

// Whether a node is an element of this name; a null name matches any element.
bool isElementNamed(const XMLNode::Node* node, const char* name);

// Builds the tree of a whole text, or of what comes before its first problem with recover; the
// report says what was found. Null when no tree is left.
std::shared_ptr<XMLNode::Tree> buildTree(std::string_view bytes, bool recover,
                                         XMLNode::FileReport& report);
// The same for a file; with keepLines, its elements know their lines.
std::shared_ptr<XMLNode::Tree> buildFileTree(const char* path, bool keepLines,
                                             XMLNode::FileReport& report);

// Appends text with the references an attribute value (or, without inValue, character data)
// needs to read back the same.
void appendEscaped(std::string& out, std::string_view text, bool inValue);

}  // namespace kyto::xml
