// Memory for the text and the tree of an XML document.
//
// A large document is mostly the cost of its memory: a list of 100,000 clients takes some 45 MB of
// text and tree, and faulting that in 4 KiB pages costs more than parsing it. While a
// LargeDocument lives on a thread, what the thread asks for here comes from chunks of huge pages
// (common/huge_pages.h); small documents take ordinary heap memory, so that a small command's
// memory stays as small as it is.
#pragma once

#include <cstddef>

namespace kyto::xmlnode {

// Documents of at least this many bytes count as large.
inline constexpr std::size_t kLargeDocumentBytes = 1024 * 1024;

class LargeDocument {
 public:
  explicit LargeDocument(std::size_t bytes);
  ~LargeDocument();
  LargeDocument(const LargeDocument&) = delete;
  LargeDocument& operator=(const LargeDocument&) = delete;

 private:
  bool wasLarge_;
};

// Memory for a document's text or tree; null when none is left. Whatever it gave, and only that,
// goes back through freeMemory. pugixml takes all its memory from these.
void* allocateMemory(std::size_t size);
void freeMemory(void* memory);

}  // namespace kyto::xmlnode
