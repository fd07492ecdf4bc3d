// Walking the children of one element on expat's events, without building a tree.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/large_pages.h"
#include "xml_node.h"
#include "xml_source.h"
#include "xml_stream.h"

namespace {

using kyto::xml::ParserSetup;
using kyto::xml::XmlStream;

// Where a walk stands: the first element named tag, and its children named child.
class ChildWalk : public ParserSetup {
 public:
  ChildWalk(const char* tag, const char* child) : tag_(tag), child_(child) {}

  bool tagFound() const { return tagDepth_ > 0; }
  bool outOfMemory() const { return outOfMemory_; }

 protected:
  void install(XML_Parser parser, XML_StartElementHandler start, XML_EndElementHandler end) {
    parser_ = parser;
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, start, end);
    kyto::xml::refuseOutsideDeclarations(parser);
    stopAtUndeclaredParameterEntities<ChildWalk>(parser);
  }

  // The depth of the element just started, from 1 for the root; whether it is a child walked.
  bool enter(const char* name) {
    ++depth_;
    if (tagDepth_ == 0 && std::strcmp(name, tag_) == 0) tagDepth_ = depth_;
    return insideTag() && depth_ == tagDepth_ + 1 && std::strcmp(name, child_) == 0;
  }
  // Whether the element that ends is a child walked.
  bool leave() {
    const bool child = insideTag() && depth_ == tagDepth_ + 1 && inChild_;
    if (depth_-- == tagDepth_) done_ = true;
    return child;
  }
  bool insideTag() const { return tagDepth_ > 0 && !done_; }

  template <typename F>
  void guarded(F&& f) {
    if (!kyto::xml::runInHandler(parser_, f)) outOfMemory_ = true;
  }

  XML_Parser parser_ = nullptr;
  int depth_ = 0;
  bool inChild_ = false;

 private:
  const char* tag_;
  const char* child_;
  int tagDepth_ = 0;
  bool done_ = false;  // the tag's element has ended
  bool outOfMemory_ = false;
};

// The named attributes of each child, kept until the whole file is known to be well-formed, in
// one arena sized for the file, child after child: a link to the next, one byte per name (1 when
// the child has that attribute), then the values it has, each NUL-terminated. Nothing is copied
// or faulted in twice as it grows.
class AttributeWalk final : public ChildWalk {
 public:
  AttributeWalk(const char* tag, const char* child, const char* const* names, int count,
                std::size_t fileBytes)
      : ChildWalk(tag, child),
        names_(names),
        count_(static_cast<std::size_t>(count)),
        values_(count_),
        lengths_(count_),
        arena_(fileBytes) {}

  void setUp(XML_Parser parser) override { install(parser, onStart, onEnd); }

  void visitAll(XMLNode::ValuesVisitor visit, void* context) const {
    std::vector<const char*> values(count_);
    for (const Kept* kept = first_; kept != nullptr; kept = kept->next) {
      const char* has = reinterpret_cast<const char*>(kept + 1);
      const char* value = has + count_;
      for (std::size_t i = 0; i < count_; ++i) {
        values[i] = has[i] != 0 ? value : nullptr;
        if (has[i] != 0) value += std::strlen(value) + 1;
      }
      if (!visit(context, values.data())) return;
    }
  }

 private:
  struct Kept {
    Kept* next;
  };

  static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
    auto* walk = static_cast<AttributeWalk*>(self);
    if (walk->enter(name)) walk->guarded([&] { walk->keep(attributes); });
  }
  static void XMLCALL onEnd(void* self, const XML_Char* /*name*/) {
    static_cast<AttributeWalk*>(self)->leave();
  }

  void keep(const XML_Char** attributes) {
    std::fill(values_.begin(), values_.end(), nullptr);
    std::size_t bytes = sizeof(Kept) + count_;
    for (int a = 0; attributes[a] != nullptr; a += 2) {
      for (std::size_t i = 0; i < count_; ++i) {
        if (values_[i] != nullptr || std::strcmp(attributes[a], names_[i]) != 0) continue;
        values_[i] = attributes[a + 1];
        lengths_[i] = std::strlen(values_[i]) + 1;
        bytes += lengths_[i];
        break;
      }
    }
    auto* kept = new (arena_.allocate(bytes, alignof(Kept))) Kept{nullptr};
    char* has = reinterpret_cast<char*>(kept + 1);
    char* value = has + count_;
    for (std::size_t i = 0; i < count_; ++i) {
      has[i] = values_[i] != nullptr ? 1 : 0;
      if (values_[i] == nullptr) continue;
      std::memcpy(value, values_[i], lengths_[i]);
      value += lengths_[i];
    }
    (last_ != nullptr ? last_->next : first_) = kept;
    last_ = kept;
  }

  const char* const* names_;
  std::size_t count_;
  std::vector<const char*> values_;  // of the child in hand, per name
  std::vector<std::size_t> lengths_;
  kyto::SizedArena arena_;
  Kept* first_ = nullptr;
  Kept* last_ = nullptr;
};

// The first text of the first grandchild of each name, handed on as each child ends. A text is
// what stands between two pieces of markup; white space alone is none, a CDATA section always
// one.
class TextWalk final : public ChildWalk {
 public:
  TextWalk(const char* tag, const char* child, const char* const* names, int count,
           XMLNode::ValuesVisitor visit, void* context)
      : ChildWalk(tag, child),
        names_(names),
        texts_(static_cast<std::size_t>(count)),
        found_(static_cast<std::size_t>(count)),
        visit_(visit),
        context_(context) {}

  void setUp(XML_Parser parser) override {
    install(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetCdataSectionHandler(parser, onCdataStart, onCdataEnd);
    XML_SetCommentHandler(
        parser, [](void* self, const XML_Char*) { static_cast<TextWalk*>(self)->endRun(false); });
    XML_SetProcessingInstructionHandler(parser, [](void* self, const XML_Char*, const XML_Char*) {
      static_cast<TextWalk*>(self)->endRun(false);
    });
  }

 private:
  static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** /*attributes*/) {
    auto* walk = static_cast<TextWalk*>(self);
    walk->endRun(false);
    if (walk->enter(name)) walk->startChild();
    if (walk->inChild_ && walk->depth_ == walk->childDepth_ + 1) walk->startGrandchild(name);
  }
  static void XMLCALL onEnd(void* self, const XML_Char* /*name*/) {
    auto* walk = static_cast<TextWalk*>(self);
    walk->endRun(false);
    if (walk->depth_ == walk->childDepth_ + 1) walk->slot_ = -1;
    if (walk->leave()) walk->endChild();
  }
  static void XMLCALL onText(void* self, const XML_Char* text, int length) {
    auto* walk = static_cast<TextWalk*>(self);
    if (walk->slot_ >= 0 && walk->depth_ == walk->childDepth_ + 1)
      walk->guarded([&] { walk->run_.append(text, static_cast<std::size_t>(length)); });
  }
  static void XMLCALL onCdataStart(void* self) { static_cast<TextWalk*>(self)->endRun(false); }
  static void XMLCALL onCdataEnd(void* self) { static_cast<TextWalk*>(self)->endRun(true); }

  void startChild() {
    inChild_ = true;
    childDepth_ = depth_;
    for (std::size_t i = 0; i < texts_.size(); ++i) {
      texts_[i].clear();
      found_[i] = false;
    }
    seen_.clear();
  }

  // The first grandchild of each name gives that name's text.
  void startGrandchild(const char* name) {
    slot_ = -1;
    for (std::size_t i = 0; i < texts_.size(); ++i) {
      if (std::strcmp(name, names_[i]) != 0) continue;
      guarded([&] {
        if (seen_.find(names_[i]) != std::string::npos) return;
        seen_ += names_[i];
        seen_ += '\n';
        slot_ = static_cast<int>(i);
      });
      return;
    }
  }

  void endRun(bool cdata) {
    if (slot_ >= 0 && !found_[static_cast<std::size_t>(slot_)] &&
        (cdata || run_.find_first_not_of(" \t\r\n") != std::string::npos)) {
      guarded([&] { texts_[static_cast<std::size_t>(slot_)] = run_; });
      found_[static_cast<std::size_t>(slot_)] = true;
    }
    run_.clear();
  }

  void endChild() {
    inChild_ = false;
    childDepth_ = -2;
    std::vector<const char*> values(texts_.size());
    for (std::size_t i = 0; i < texts_.size(); ++i)
      values[i] = found_[i] ? texts_[i].c_str() : nullptr;
    if (!visit_(context_, values.data())) XML_StopParser(parser_, XML_FALSE);
  }

  const char* const* names_;
  std::vector<std::string> texts_;
  std::vector<bool> found_;
  std::string seen_;  // the names of the grandchildren met, each ended by a newline
  std::string run_;
  int slot_ = -1;  // the text being read, or -1
  int childDepth_ = -2;
  XMLNode::ValuesVisitor visit_;
  void* context_;
};

}  // namespace

void XMLNode::forEachChildInFile(const char* path, int* error, const char* tag, const char* child,
                                 const char* const* names, int count, ValuesVisitor visit,
                                 void* context) {
  int result = kFileUnreadable;
  FileReport report;
  try {
    if (path != nullptr && tag != nullptr && child != nullptr) {
      AttributeWalk walk(tag, child, names, count, kyto::xml::fileSizeHint(path));
      bool parsed = false;
      {
        // The parser and the file's bytes are gone before the first visit.
        XmlStream stream(walk);
        parsed = kyto::xml::feedFile(path, stream, report) && !walk.outOfMemory();
      }
      if (parsed) {
        result = walk.tagFound() ? kFileParsed : kFileTagMissing;
        if (result == kFileParsed) walk.visitAll(visit, context);
      } else {
        result = walk.outOfMemory() ? kFileBeyondLimits : report.error;
        if (walk.outOfMemory()) report.bound = kMemoryBound;
      }
    }
  } catch (const std::bad_alloc&) {
    result = kFileBeyondLimits;
    report.bound = kMemoryBound;
  }
  if (error != nullptr) *error = result;
  report.error = static_cast<FileError>(result);
  if (const int why = report.errorNumber(); why != 0) errno = why;
}

bool XMLNode::forEachChildInText(std::string_view text, const char* tag, const char* child,
                                 const char* const* names, int count, ValuesVisitor visit,
                                 void* context, FileReport* fault, bool whole) {
  FileReport ignored;
  FileReport& report = fault != nullptr ? *fault : ignored;
  const auto setFault = [&report](FileError error, Bound bound, const char* problem) {
    report = FileReport();
    report.error = error;
    report.bound = bound;
    report.problem = problem;
  };
  setFault(kFileParsed, kNoBound, "");
  if (tag == nullptr || child == nullptr) return false;
  try {
    TextWalk walk(tag, child, names, count, visit, context);
    XmlStream stream(walk);
    const bool read = kyto::xml::feedBytes(text, stream, report, whole);
    if (walk.outOfMemory()) {
      setFault(kFileBeyondLimits, kMemoryBound, "memory ran out");
    } else if (read || XML_GetErrorCode(stream.parser()) == XML_ERROR_ABORTED ||
               (!walk.tagFound() && report.error != kFileBeyondLimits)) {
      // Read to its end, stopped by visit, or a text that is no XML holding the tag, which is no
      // fault; one that is beyond the reader's bounds may well hold it.
      setFault(kFileParsed, kNoBound, "");
    }
    return walk.tagFound();
  } catch (const std::bad_alloc&) {
    setFault(kFileBeyondLimits, kMemoryBound, "memory ran out");
    return false;
  }
}
