// Building a tree from expat's events.
#include "xml_tree.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "xml_source.h"
#include "xml_stream.h"

using Node = XMLNode::Node;
using Kind = XMLNode::Node::Kind;

namespace {

// A list's tree takes about four times its text (each entry a node, its attributes and their
// values, and the white space before it). Growing the arena block by block instead faults most of
// it in 4 KiB at a time from the heap, which at 10,000 clients costs a third of add's time.
constexpr std::size_t kTreeBytesPerTextByte = 4;

}  // namespace

XMLNode::Tree::Tree(std::size_t textBytes) : arena(textBytes * kTreeBytesPerTextByte) {}

const char* XMLNode::Tree::copy(std::string_view text) {
  auto* out = static_cast<char*>(arena.allocate(text.size() + 1, 1));
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}

Node* XMLNode::Tree::newNode(Kind kind) {
  return new (arena.allocate(sizeof(Node), alignof(Node))) Node(kind);
}

void XMLNode::Tree::append(Node* parent, Node* child) {
  child->parent = parent;
  child->previous = parent->lastChild;
  (parent->lastChild != nullptr ? parent->lastChild->next : parent->firstChild) = child;
  parent->lastChild = child;
}

void XMLNode::Tree::addAttribute(Node* node, std::string_view name, std::string_view value,
                                 bool specified) {
  addStoredAttribute(node, copy(name), value, specified);
}

void XMLNode::Tree::addStoredAttribute(Node* node, const char* storedName, std::string_view value,
                                       bool specified) {
  auto* attribute =
      new (arena.allocate(sizeof(Node::Attribute), alignof(Node::Attribute))) Node::Attribute{
          storedName, copy(value), nullptr, static_cast<std::uint32_t>(value.size()), specified};
  (node->lastAttribute != nullptr ? node->lastAttribute->next : node->firstAttribute) = attribute;
  node->lastAttribute = attribute;
}

void XMLNode::Tree::unlink(Node* node) {
  Node* parent = node->parent;
  if (parent == nullptr) return;
  (node->previous != nullptr ? node->previous->next : parent->firstChild) = node->next;
  (node->next != nullptr ? node->next->previous : parent->lastChild) = node->previous;
  node->parent = node->next = node->previous = nullptr;
}

namespace kyto::xml {

XMLNode::FileReport memoryRanOut() {
  XMLNode::FileReport report;
  report.error = XMLNode::kFileBeyondLimits;
  report.bound = XMLNode::kMemoryBound;
  report.problem = "memory ran out";
  return report;
}

bool isElementNamed(const Node* node, const char* name) {
  return node->kind == Kind::kElement && (name == nullptr || std::strcmp(node->name, name) == 0);
}

namespace {

bool isWhiteSpace(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The quoted form of a document type's identifier.
std::string quotedLiteral(const char* text) {
  const char quote = std::strchr(text, '"') != nullptr ? '\'' : '"';
  return std::string(1, quote) + text + quote;
}

class TreeBuilder final : public ParserSetup {
 public:
  TreeBuilder(XMLNode::Tree& tree, bool keepLines) : tree_(tree), keepLines_(keepLines) {}

  void setUp(XML_Parser parser) override {
    parser_ = parser;
    XML_SetUserData(parser, this);
    XML_SetXmlDeclHandler(parser, on<&TreeBuilder::declaration>);
    XML_SetDoctypeDeclHandler(parser, on<&TreeBuilder::doctypeStart>, on<&TreeBuilder::doctypeEnd>);
    XML_SetElementHandler(parser, on<&TreeBuilder::start>, on<&TreeBuilder::end>);
    XML_SetCharacterDataHandler(parser, on<&TreeBuilder::text>);
    XML_SetCdataSectionHandler(parser, on<&TreeBuilder::cdataStart>, on<&TreeBuilder::cdataEnd>);
    XML_SetCommentHandler(parser, on<&TreeBuilder::comment>);
    XML_SetProcessingInstructionHandler(parser, on<&TreeBuilder::instruction>);
    XML_SetDefaultHandlerExpand(parser, on<&TreeBuilder::other>);
    refuseOutsideDeclarations(parser);
    stopAtUndeclaredParameterEntities<TreeBuilder>(parser);
  }

  // Ends the text in hand: a parse that stopped early leaves what it read.
  void finish() {
    guarded([&] { flushText(); });
  }
  bool outOfMemory() const { return outOfMemory_; }

 private:
  // expat calls in here; nothing may be thrown back to it. Without memory the parse stops.
  template <auto member, typename... Args>
  static void XMLCALL on(void* self, Args... args) {
    auto* builder = static_cast<TreeBuilder*>(self);
    builder->guarded([&] { (builder->*member)(args...); });
  }
  template <typename F>
  void guarded(F&& f) {
    if (!kyto::xml::runInHandler(parser_, f)) outOfMemory_ = true;
  }

  void declaration(const XML_Char* version, const XML_Char* /*encoding*/, int standalone) {
    // A start over in a converted encoding reports the declaration again.
    tree_.document.firstAttribute = tree_.document.lastAttribute = nullptr;
    if (version != nullptr) tree_.addAttribute(&tree_.document, "version", version, true);
    if (standalone >= 0)
      tree_.addAttribute(&tree_.document, "standalone", standalone == 1 ? "yes" : "no", true);
  }

  void doctypeStart(const XML_Char* name, const XML_Char* system, const XML_Char* publicId,
                    int internalSubset) {
    inDoctype_ = true;
    internalSubset_ = internalSubset != 0;
    doctype_ = std::string("<!DOCTYPE ") + name;
    if (publicId != nullptr) {
      doctype_ += " PUBLIC " + quotedLiteral(publicId) + " " + quotedLiteral(system);
    } else if (system != nullptr) {
      doctype_ += " SYSTEM " + quotedLiteral(system);
    }
    if (internalSubset_) doctype_ += " [";
  }

  void doctypeEnd() {
    doctype_ += internalSubset_ ? "]>" : ">";
    addLeaf(Kind::kDoctype, "", doctype_);
    inDoctype_ = false;
  }

  void start(const XML_Char* name, const XML_Char** attributes) {
    flushText();
    Node* element = tree_.newNode(Kind::kElement);
    element->name = stored(elementName_, name);
    if (keepLines_) element->line = static_cast<std::int32_t>(XML_GetCurrentLineNumber(parser_));
    const int specified = XML_GetSpecifiedAttributeCount(parser_);
    for (int i = 0; attributes[i] != nullptr; i += 2) {
      const std::size_t position = static_cast<std::size_t>(i / 2);
      if (position == attributeNames_.size()) attributeNames_.push_back("");
      tree_.addStoredAttribute(element, stored(attributeNames_[position], attributes[i]),
                               attributes[i + 1], i < specified);
    }
    tree_.append(current_, element);
    current_ = element;
  }

  // A list repeats its element and attribute names, in the same places, entry after entry: the
  // copy made for the last name in a place serves every equal one after it.
  const char* stored(const char*& last, const char* name) {
    if (std::strcmp(last, name) != 0) last = tree_.copy(name);
    return last;
  }

  void end(const XML_Char* /*name*/) {
    flushText();
    current_ = current_->parent;
  }

  void text(const XML_Char* text, int length) {
    if (current_ != &tree_.document) text_.append(text, static_cast<std::size_t>(length));
  }

  void cdataStart() { flushText(); }
  void cdataEnd() {
    addLeaf(Kind::kCData, "", text_);
    text_.clear();
  }

  void comment(const XML_Char* data) {
    if (inDoctype_) {
      keepInDoctype(std::string("<!--") + data + "-->");
      return;
    }
    flushText();
    addLeaf(Kind::kComment, "", data);
  }

  void instruction(const XML_Char* target, const XML_Char* data) {
    if (inDoctype_) {
      keepInDoctype(std::string("<?") + target + (*data != '\0' ? " " : "") + data + "?>");
      return;
    }
    flushText();
    addLeaf(Kind::kPi, target, data);
  }

  // What no other handler takes: the declarations of the internal subset as written, and in
  // content a reference to an external entity, which is kept as it stands.
  void other(const XML_Char* text, int length) {
    const std::string_view raw(text, static_cast<std::size_t>(length));
    if (inDoctype_) {
      keepInDoctype(raw);
    } else if (current_ != &tree_.document && raw.starts_with('&')) {
      flushText();
      addLeaf(Kind::kReference, "", raw);
    }
  }

  void keepInDoctype(std::string_view text) {
    if (!tree_.doctypeExpanded) tree_.doctypeExpanded = standsForAReference(text);
    doctype_ += text;
  }

  // What an internal parameter entity stands for is reported in place of its reference, at the
  // reference's place: where the document holds "%name;" (in UTF-8 or UTF-16), a text that is no
  // such reference. A reference to an external one is handed on as itself, in UTF-8 whatever the
  // document's encoding.
  bool standsForAReference(std::string_view text) const {
    int offset = 0;
    int size = 0;
    const char* input = XML_GetInputContext(parser_, &offset, &size);
    const int count = XML_GetCurrentByteCount(parser_);
    constexpr int kShortestReferenceBytes = 3;  // "%a;"
    if (input == nullptr || count < kShortestReferenceBytes || offset < 0 || size - offset < count)
      return false;
    const char* token = input + offset;
    const bool atReference = token[0] == '%' || (token[0] == '\0' && token[1] == '%');
    return atReference && !(text.size() >= 3 && text.front() == '%' && text.back() == ';');
  }

  void flushText() {
    if (text_.empty()) return;
    const bool white = isWhiteSpace(text_);
    // So does the indentation between the entries.
    Node* node = white ? addStoredLeaf(Kind::kText, "", stored(whiteText_, text_.c_str()))
                       : addLeaf(Kind::kText, "", text_);
    node->whiteOnly = white;
    text_.clear();
  }

  Node* addLeaf(Kind kind, std::string_view name, std::string_view value) {
    return addStoredLeaf(kind, name, tree_.copy(value));
  }
  Node* addStoredLeaf(Kind kind, std::string_view name, const char* storedValue) {
    Node* node = tree_.newNode(kind);
    if (!name.empty()) node->name = tree_.copy(name);
    node->value = storedValue;
    if (keepLines_) node->line = static_cast<std::int32_t>(XML_GetCurrentLineNumber(parser_));
    tree_.append(current_, node);
    return node;
  }

  XMLNode::Tree& tree_;
  bool keepLines_;
  XML_Parser parser_ = nullptr;
  Node* current_ = &tree_.document;
  std::string text_;
  bool inDoctype_ = false;
  bool internalSubset_ = false;
  std::string doctype_;
  bool outOfMemory_ = false;
  const char* elementName_ = "";
  std::vector<const char*> attributeNames_;  // the last name at each position
  const char* whiteText_ = "";
};

template <typename Feed>
std::shared_ptr<XMLNode::Tree> build(Feed feed, std::size_t textBytes, bool recover, bool keepLines,
                                     XMLNode::FileReport& report) {
  auto tree = std::make_shared<XMLNode::Tree>(textBytes);
  tree->linesKept = keepLines;
  TreeBuilder builder(*tree, keepLines);
  XmlStream stream(builder);
  const bool parsed = feed(stream);
  builder.finish();
  tree->readBytes =
      static_cast<std::size_t>(std::max<XML_Index>(0, XML_GetCurrentByteIndex(stream.parser())));
  if (builder.outOfMemory()) {
    report = memoryRanOut();
    return nullptr;
  }
  if (parsed) report.error = XMLNode::kFileParsed;
  return parsed || recover ? tree : nullptr;
}

}  // namespace

std::shared_ptr<XMLNode::Tree> buildTree(std::string_view bytes, bool recover,
                                         XMLNode::FileReport& report) {
  return build([&](XmlStream& stream) { return feedBytes(bytes, stream, report); }, bytes.size(),
               recover, false, report);
}

std::shared_ptr<XMLNode::Tree> buildFileTree(const char* path, bool keepLines,
                                             XMLNode::FileReport& report) {
  return build([&](XmlStream& stream) { return feedFile(path, stream, report); },
               fileSizeHint(path), false, keepLines, report);
}

}  // namespace kyto::xml
