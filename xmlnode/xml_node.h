// XMLNode: a small DOM handle over libxml2, with the operations the client settings library and
// clientadm use to read and write their XML.
//
// An XMLNode is a value handle to a node of a parsed or created tree. Copying or assigning a
// handle shares the node; destroying a handle releases only the handle. The tree itself lives
// as long as some handle to it does, so dropping the last handle frees it. The empty node
// (XMLNode::emptyXMLNode) stands for an element that was not found or a text that did not parse.
// Strings returned by a node belong to the tree and stay valid until the tree is freed.
//
// Nothing here throws or ends the process; parse errors are reported by the result alone and
// never printed.
#pragma once

#include <memory>
#include <string>

struct _xmlNode;
struct _xmlDoc;

// What parseString tells of a text beyond the tree it yields.
struct XMLResults {
  // Why the text was cut short of its end, when it broke a markup limit (markup_limits.h), as
  // "more than 256 attributes in one element" and the like; null when it was read to its end or
  // to its first damage.
  const char* markupLimit = nullptr;
};

class XMLNode {
 public:
  XMLNode() = default;

  static const XMLNode emptyXMLNode;

  // What openFileHelper sets in *error.
  enum FileError {
    kFileParsed = 0,
    kFileUnreadable = 1,    // missing, no regular file (a FIFO, device, socket or directory),
                            // or a read failed
    kFileMalformed = 2,     // not well-formed
    kFileTagMissing = 3,    // well-formed, without the tag asked for
    kFileBeyondLimits = 4,  // memory ran out or the parser's own size limits were reached (a text
                            // over 10 MB, a name over 50,000 bytes, nesting over 256), or a
                            // markup limit (common/markup_limits.h): the file may well be sound,
                            // and nothing is known of it
  };

  // Parses the whole file, which must be a regular file (opened without blocking, so a FIFO
  // never holds the caller). With a tag, returns the first element of that name (document
  // order), without one the top of the document. Sets *error to a FileError: 0 on success; on
  // any other the result is the empty node, and for kFileUnreadable errno tells why. When the file
  // gives no document and diagnostic is given, it gets one line naming the file and the problem
  // ("PATH:LINE: message", control characters as '?'), for the caller to print; libxml2 itself
  // prints nothing.
  static XMLNode openFileHelper(const char* path, int* error, const char* tag = nullptr,
                                std::string* diagnostic = nullptr);

  // Parses a NUL-terminated text, recovering what a damaged or cut text still yields: what comes
  // before the first damage, or before the byte that breaks a markup limit, where the text is
  // cut (which results, when given, then names). With a tag, returns the first element of that
  // name, else the top; the empty node when nothing is found.
  static XMLNode parseString(const char* text, const char* tag = nullptr,
                             XMLResults* results = nullptr);

  // A new document top, written as the declaration <?xml ...?> followed by its children. The
  // attributes "version" and "encoding" added to it make the declaration.
  static XMLNode createXMLTopNode(const char* name, int isDeclaration = 0);

  // Number of direct child elements with this name.
  int nChildNode(const char* name) const;

  // The index-th (from 0) direct child element with this name, or the empty node. Visiting one
  // node's children by rising index costs O(1) a step, whatever lookups on other nodes come in
  // between.
  XMLNode getChildNode(const char* name, int index) const;

  // The first direct child element with this name, or the empty node (position: none).
  XMLNode getChildNode(const char* name, int* position = nullptr) const;

  // The value of the first attribute with this name, or null.
  const char* getAttribute(const char* name, int* position = nullptr) const;

  // The element's first text, or null.
  const char* getText(int index = 0) const;

  bool isEmpty() const { return node_ == nullptr; }

  // Appends an attribute; both strings are copied.
  void addAttribute(const char* name, const char* value);

  // Appends a new last child element and returns it (position -1).
  XMLNode addChild(const char* name, int isDeclaration = 0, int position = -1);

  // Writes the tree below this node to a file, with the declaration version="1.0"
  // encoding="UTF-8" and one element per line when format is 1. The file is replaced
  // atomically: a temporary file beside it, flushed, fsynced and renamed over it, keeping the old
  // file's mode (0644 for a new file). Returns 0 on success, non-zero on failure, in which case
  // the old file is intact and no temporary file is left.
  int writeToFile(const char* path, const char* encoding = nullptr, int format = 1) const;

  // Frees this node and its whole subtree and detaches it from its parent; on a document top,
  // the whole document. What remains of a tree is freed with its last handle. Other handles into
  // the freed subtree must not be used afterwards.
  void deleteNodeContent();

 private:
  struct Tree;
  XMLNode(std::shared_ptr<Tree> tree, void* node) : tree_(std::move(tree)), node_(node) {}

  // Takes ownership of a parsed or new document (freed here on failure) and returns its top,
  // or with a tag the first element of that name; *found tells whether the tag was there. The
  // empty node with *found set means memory ran out.
  static XMLNode adoptDocument(_xmlDoc* doc, const char* tag, bool* found);
  // The tree this handle points into, or null when the handle is empty or its document is gone.
  Tree* liveTree() const;
  // The handle's node as an element (null for the empty node and for a document top).
  _xmlNode* element() const;

  std::shared_ptr<Tree> tree_;
  void* node_ = nullptr;  // xmlNodePtr, or the xmlDocPtr for a document top
};
