// XMLNode: a small DOM handle with the operations the client settings library and clientadm use
// to read and write their XML. Every input is read by expat (xml_stream.h), which decides
// well-formedness as XML 1.0 does and hands the text on exactly, its internal entities expanded;
// a tree is built from its events, and the reads that need no tree walk the events themselves.
//
// An XMLNode is a value handle to a node of a parsed or created tree. Copying or assigning a
// handle shares the node; destroying a handle releases only the handle. The tree itself lives
// as long as some handle to it does. The empty node (XMLNode::emptyXMLNode) stands for an element
// that was not found or a text that did not parse. Strings returned by a node belong to the tree
// and stay valid until the tree is freed.
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

namespace kyto::xml {
// The largest XML file read: 64 MiB, more than five times a client list of 100,000 clients. A
// larger file is not read at all and counts as one beyond the reader's limits, which says nothing
// of whether it is sound.
inline constexpr std::size_t kMostXmlFileBytes = 64 * 1024 * 1024;
}  // namespace kyto::xml

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
    kFileBeyondLimits = 4,  // beyond one of the reader's bounds: the file may well be sound, and
                            // nothing is known of it
  };

  // Which of the reader's bounds a kFileBeyondLimits file met, and the errno value that stands
  // for it.
  enum Bound {
    kNoBound,
    kSizeBound,       // larger than kMostXmlFileBytes: EFBIG
    kEncodingBound,   // in an encoding this machine can't convert: ENOTSUP
    kOutsideBound,    // it needs declarations from outside the file (an external subset or
                      // external parameter entities), which are never read: ENOTSUP
    kExpansionBound,  // its entities expand beyond expat's amplification limits: ENOMEM
    kMemoryBound,     // memory ran out: ENOMEM
  };

  // What a parse of a file found, for a caller that reports it.
  struct FileReport {
    FileError error = kFileUnreadable;
    Bound bound = kNoBound;  // kFileBeyondLimits: which
    int readError = 0;       // kFileUnreadable: the errno value (EINVAL: not a regular file)
    long line = 0;           // kFileMalformed: the line of the first problem, from 1
    std::string problem;     // anything but kFileParsed: what it is, as a phrase
    std::string diagnostic;  // anything but kFileParsed: one line "PATH:LINE: problem" or
                             // "PATH: problem", control characters as '?'

    // The errno value of a file that could not be read or was beyond a bound; else 0.
    int errorNumber() const;
  };

  // Parses the whole file, which must be a regular file (opened without blocking, so a FIFO
  // never holds the caller). With a tag, returns the first element of that name (document
  // order), without one the top of the document. Sets *error to a FileError: 0 on success; on
  // any other the result is the empty node; for kFileUnreadable errno tells why, and for
  // kFileBeyondLimits the errno of its Bound. When the file gives no document and diagnostic is
  // given, it gets the report's diagnostic line.
  static XMLNode openFileHelper(const char* path, int* error, const char* tag = nullptr,
                                std::string* diagnostic = nullptr);

  // The top of the document in the file, or the empty node, with all there is to say of the
  // parse in report. With keepLines, the elements know their lines (getLine).
  static XMLNode openFile(const char* path, FileReport& report, bool keepLines = false);

  // Parses a whole document held in memory as openFile parses a file: the top of the document,
  // or the empty node with what was found in report (no diagnostic).
  static XMLNode parseDocument(std::string_view bytes, FileReport& report);

  // Parses a NUL-terminated text, keeping what a damaged or cut text still yields: the elements
  // before the first problem. With a tag, returns the first element of that name, else the top;
  // the empty node when nothing is found.
  static XMLNode parseString(const char* text, const char* tag = nullptr);

  // Called with values[i] for the i-th name asked for (null when there is none), valid during the
  // call; false stops the walk.
  using ValuesVisitor = bool (*)(void* context, const char* const* values);

  // Reads the file at path as openFileHelper(path, error, tag) would and calls visit for each
  // child element named child of that element, in document order, with the values of its
  // attributes named in names, without building a tree. Nothing is visited of a file that is not
  // well-formed. *error as openFileHelper's.
  static void forEachChildInFile(const char* path, int* error, const char* tag, const char* child,
                                 const char* const* names, int count, ValuesVisitor visit,
                                 void* context);

  // Walks a text, calling visit for each child element named child of the first element named
  // tag, as soon as its end tag is read, with the first text of its first child element of each
  // of names: so the children that end before a fault in the text are visited. Returns whether
  // the tag was found. fault gets what ended the text early: a kFileMalformed text with its line
  // once the tag was found, or a kFileBeyondLimits one; else its error is kFileParsed. Without
  // whole, the text is the start of a longer one that was cut: its end, wherever it falls, is no
  // fault.
  static bool forEachChildInText(std::string_view text, const char* tag, const char* child,
                                 const char* const* names, int count, ValuesVisitor visit,
                                 void* context, FileReport* fault = nullptr, bool whole = true);

  // A new document top, written as the declaration <?xml ...?> followed by its children: the
  // attributes "version" and "encoding" added to it make the declaration. Without the
  // declaration flag, a new document whose root element has this name, which is returned.
  static XMLNode createXMLTopNode(const char* name, bool isDeclaration = false);

  // Number of direct child elements with this name, or of any name.
  int nChildNode(const char* name = nullptr) const;

  // The first direct child element with this name (any name when null), or the empty node.
  XMLNode getChildNode(const char* name = nullptr) const;
  // The index-th (from 0) direct child element with this name, or the empty node.
  XMLNode getChildNode(const char* name, int index) const;
  // The next sibling element with this name (any name when null), or the empty node: a walk
  // over many children costs one step each.
  XMLNode nextSibling(const char* name = nullptr) const;

  // The first element with this name below this node, in document order, or the empty node.
  XMLNode findElement(const char* name) const;

  // The element's name; null for the empty node and a document top.
  const char* getName() const;

  // The value of the first attribute with this name, or null. A document top's are those of
  // its declaration.
  const char* getAttribute(const char* name) const;

  // Every attribute of the element as (name, value), in document order.
  std::vector<std::pair<const char*, const char*>> getAttributes() const;

  // The element's index-th text, white space alone counting for none, or null.
  const char* getText(int index = 0) const;

  // The line on which the element's start tag stands, from 1, for a file opened with keepLines;
  // else 0.
  long getLine() const;

  bool isEmpty() const { return node_ == nullptr; }
  // Whether two handles name the same node.
  bool operator==(const XMLNode& other) const { return node_ == other.node_; }

  // Appends an attribute; both strings are copied.
  void addAttribute(const char* name, const char* value);

  // Appends a new last child element and returns it.
  XMLNode addChild(const char* name);

  // The text writeToFile writes: the declaration version="1.0" encoding="UTF-8", then the
  // document with its root's children one per line, each as it was read (createXMLString in
  // xml_node_write.cpp says how). Empty when memory runs out.
  std::string createXMLString() const;

  // Writes createXMLString to a file, replacing it atomically (common/atomic_file.h). Returns 0,
  // or an errno value, in which case the old file is intact.
  int writeToFile(const char* path) const;

  // Frees this node and its whole subtree and detaches it from its parent; on a document top,
  // the whole document. Other handles into the freed subtree must not be used afterwards.
  void deleteNodeContent();

  // Whether an attribute value can hold text and read back the same: valid UTF-8 of characters
  // XML allows.
  static bool canHold(std::string_view text);

  // Whether the document type gives attributes of elements of this name a default, or a type
  // other than CDATA (whose values a reader folds): an element of that name added to the
  // document would then not read back as it was made.
  bool declaresAttributesOf(const char* element) const;
  // Whether the document type as read holds what parameter-entity references stood for, not the
  // references: a rewrite would not keep it as it was written.
  bool documentTypeExpanded() const;

  // The tree behind handles, and its nodes; what they hold is the implementation's.
  struct Tree;
  struct Node;

 private:
  XMLNode(std::shared_ptr<Tree> tree, Node* node) : tree_(std::move(tree)), node_(node) {}

  // The tree this handle points into, or null when the handle is empty or its document is gone.
  Tree* liveTree() const;
  XMLNode handleTo(Node* node) const;

  std::shared_ptr<Tree> tree_;
  Node* node_ = nullptr;
};
