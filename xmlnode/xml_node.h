// XMLNode: a small DOM handle with the operations the client settings library and clientadm use
// to read and write their XML, over pugixml, whose parse is linear in its input whatever its
// shape. Every text is checked to be well-formed XML 1.0 before it is built into a tree
// (xml_well_formed.h), and read in any encoding the machine can convert (xml_input.h).
//
// An XMLNode is a value handle to a node of a parsed or created tree. Copying or assigning a
// handle shares the node; destroying a handle releases only the handle. The tree itself lives
// as long as some handle to it does, so dropping the last handle frees it. The empty node
// (XMLNode::emptyXMLNode) stands for an element that was not found or a text that did not parse.
// Strings returned by a node belong to the tree and stay valid until the tree is freed or that
// node is changed.
//
// Nothing here throws or ends the process; parse errors are reported by the result alone and
// never printed.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct XMLResults;  // Kept for the parseString calling form; never filled.

class XMLNode {
 public:
  XMLNode() = default;

  static const XMLNode emptyXMLNode;

  // What openFileHelper sets in *error.
  enum FileError {
    kFileParsed = 0,
    kFileUnreadable = 1,    // missing, no regular file (a FIFO, device, socket or directory),
                            // or a read failed
    kFileMalformed = 2,     // not well-formed, or bytes that are no characters of its encoding
    kFileTagMissing = 3,    // well-formed, without the tag asked for
    kFileBeyondLimits = 4,  // larger than the reader takes (xml_input.h), in an encoding this
                            // machine can't convert, or memory ran out: the file may well be
                            // sound, and nothing is known of it
  };

  // Which of the reader's bounds a kFileBeyondLimits file met.
  enum Bound { kNoBound, kSizeBound, kEncodingBound, kMemoryBound };

  // What a parse of a file found, for a caller that reports it.
  struct FileReport {
    FileError error = kFileUnreadable;
    Bound bound = kNoBound;  // kFileBeyondLimits: which
    int readError = 0;       // kFileUnreadable: the errno value (EINVAL: not a regular file)
    long line = 0;           // kFileMalformed: the line of the first problem, from 1
    std::string problem;     // kFileMalformed, kFileBeyondLimits: what it is, as a phrase
    std::string diagnostic;  // anything but kFileParsed: one line "PATH:LINE: problem" or
                             // "PATH: problem", control characters as '?'
  };

  // Parses the whole file, which must be a regular file (opened without blocking, so a FIFO
  // never holds the caller). With a tag, returns the first element of that name (document
  // order), without one the top of the document. Sets *error to a FileError: 0 on success; on
  // any other the result is the empty node; for kFileUnreadable errno tells why, and for
  // kFileBeyondLimits it is EFBIG (size), ENOTSUP (encoding) or ENOMEM. When the file gives no
  // document and diagnostic is given, it gets the report's diagnostic line.
  static XMLNode openFileHelper(const char* path, int* error, const char* tag = nullptr,
                                std::string* diagnostic = nullptr);

  // The top of the document in the file, or the empty node, with all there is to say of the
  // parse in report. With keepLines, the elements know their lines (getLine).
  static XMLNode openFile(const char* path, FileReport& report, bool keepLines = false);

  // Parses a whole document held in memory, in any encoding, as openFile parses a file: the top
  // of the document, or the empty node with what was found in report (no diagnostic).
  static XMLNode parseDocument(std::string_view bytes, FileReport& report);

  // Parses a NUL-terminated text, keeping what a damaged or cut text still yields: the elements
  // before the first problem, the markup that holds it cut away. With a tag, returns the first
  // element of that name, else the top; the empty node when nothing is found.
  static XMLNode parseString(const char* text, const char* tag = nullptr,
                             XMLResults* results = nullptr);

  // A child element as the walks below hand it over, its texts decoded as a tree's are and
  // valid during the call.
  class ChildElement {
   public:
    // The value of the first attribute with this name, or null.
    const char* getAttribute(const char* name) const;
    // As XMLNode::getAttributes with names.
    void getAttributes(const char* const* names, const char** values, int count) const;
    // The first text of its first child element of this name, as getChildNode(name).getText(0)
    // would give it, or null.
    const char* getChildText(const char* name) const;

    struct Attribute {
      const char* name;
      std::size_t nameLength;
      const char* value;
    };
    using Attributes = std::vector<Attribute>;
    using Pairs = std::vector<std::pair<const char*, const char*>>;
    struct Parts {
      Attributes& attributes;
      Pairs& childTexts;
    };
    // What a walk fills in.
    static Parts partsOf(ChildElement& element) {
      return {element.attributes_, element.childTexts_};
    }

   private:
    Attributes attributes_;
    Pairs childTexts_;  // each child element's name and first text, in order
  };
  // Called for each child; false stops the walk.
  using ChildVisitor = bool (*)(void* context, const ChildElement& element);

  // Reads the file at path as openFileHelper(path, error, tag) would, and calls visit for each
  // child element named child of that element, in document order, without building a tree: a
  // large list costs its bytes and no more memory. The file is checked whole before the first
  // call, so nothing is visited of a file that is not well-formed. *error as openFileHelper's.
  static void forEachChildInFile(const char* path, int* error, const char* tag, const char* child,
                                 ChildVisitor visit, void* context);

  // The same for a text, recovering what a damaged or cut text still yields, as parseString:
  // the children before the first problem. False when the text holds no element named tag.
  static bool forEachChildInText(const char* text, const char* tag, const char* child,
                                 ChildVisitor visit, void* context);
  // The same in place: the size bytes at text, and the byte after them, are changed.
  static bool forEachChildInText(char* text, std::size_t size, const char* tag, const char* child,
                                 ChildVisitor visit, void* context);

  // A new document top, written as the declaration <?xml ...?> followed by its children. The
  // attributes "version" and "encoding" added to it make the declaration.
  static XMLNode createXMLTopNode(const char* name, int isDeclaration = 0);

  // Number of direct child elements with this name, or of any name.
  int nChildNode(const char* name) const;
  int nChildNode() const { return nChildNode(nullptr); }

  // The index-th (from 0) direct child element with this name, or the empty node. Visiting one
  // node's children by rising index costs O(1) a step, whatever lookups on other nodes come in
  // between.
  XMLNode getChildNode(const char* name, int index) const;
  // The same among the child elements of any name.
  XMLNode getChildNode(int index) const { return getChildNode(nullptr, index); }

  // The first direct child element with this name, or the empty node (position: none).
  XMLNode getChildNode(const char* name, int* position = nullptr) const;

  // The first element with this name below this node, in document order, or the empty node.
  XMLNode findElement(const char* name) const;

  // The element's name; null for the empty node and a document top.
  const char* getName() const;

  // The value of the first attribute with this name, or null.
  const char* getAttribute(const char* name, int* position = nullptr) const;

  // The values of the first attributes with these names, in one walk over the attributes:
  // values[i] is that of names[i], or null. For a reader of many attributes of each of many
  // elements.
  void getAttributes(const char* const* names, const char** values, int count) const;

  // Every attribute of the element as (name, value), in document order.
  std::vector<std::pair<const char*, const char*>> getAttributes() const;

  // The element's first text, or null.
  const char* getText(int index = 0) const;

  // The line on which the element's start tag stands, from 1, for a file opened with keepLines;
  // else 0.
  long getLine() const;

  bool isEmpty() const { return node_ == nullptr; }
  // Whether two handles name the same node.
  bool operator==(const XMLNode& other) const { return node_ == other.node_; }

  // Appends an attribute; both strings are copied.
  void addAttribute(const char* name, const char* value);

  // Appends a new last child element and returns it (position -1), or inserts it before the
  // position-th child element.
  XMLNode addChild(const char* name, int isDeclaration = 0, int position = -1);

  // Writes the tree below this node to a file, with the declaration version="1.0"
  // encoding="UTF-8" and one element per line when format is 1. The file is replaced
  // atomically: a temporary file beside it, flushed, fsynced and renamed over it, keeping the old
  // file's mode (0644 for a new file). Returns 0 on success, non-zero on failure, in which case
  // the old file is intact and no temporary file is left.
  int writeToFile(const char* path, const char* encoding = nullptr, int format = 1) const;

  // The text writeToFile writes.
  std::string createXMLString(int format = 1) const;

  // Frees this node and its whole subtree and detaches it from its parent; on a document top,
  // the whole document. What remains of a tree is freed with its last handle. Other handles into
  // the freed subtree must not be used afterwards.
  void deleteNodeContent();

  // The tree behind handles; what it holds is the implementation's.
  struct Tree;

 private:
  XMLNode(std::shared_ptr<Tree> tree, void* node) : tree_(std::move(tree)), node_(node) {}

  // The tree this handle points into, or null when the handle is empty or its document is gone.
  Tree* liveTree() const;

  std::shared_ptr<Tree> tree_;
  void* node_ = nullptr;  // pugi::xml_node_struct of an element or of the document
};
