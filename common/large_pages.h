// Memory for what grows with a large list: its text, and the tree, records and arenas made of it.
//
// On the virtual machines the appliance's tools are measured on, faulting memory in a 4 KiB page
// at a time costs a large list more than parsing it: at 100,000 clients, list spent half its time
// in page faults. Blocks of 2 MiB and more are therefore mapped on their own and offered to the
// kernel for transparent huge pages (MADV_HUGEPAGE), and given back whole when freed; smaller
// blocks come from the heap as ever, so a small command's memory stays as small as it is. There,
// a page faulted in on its own costs about twice what it costs among many in one call: blocks of
// 64 KiB and more are backed in one call (prefault). They are made to be filled: a file's text,
// or an arena sized from it, of which a list's tree or values take most (an estimate: a text
// that makes less leaves some of its block backed for nothing).
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory_resource>

namespace kyto {

// Blocks of at least this many bytes are mapped on their own.
inline constexpr std::size_t kLargeBlockBytes = 2 * 1024 * 1024;

// A process-wide memory resource that maps large blocks as above; thread-safe.
std::pmr::memory_resource* largePageResource();

// The same for C interfaces that free without a size (expat's memory suite): a block of size
// bytes, aligned as malloc aligns, or null; resized as realloc would; and freed.
void* allocateBlock(std::size_t size);
void* resizeBlock(void* block, std::size_t size);
void freeBlock(void* block);

// Has memory of our own that is about to be filled backed now, in one call (MADV_POPULATE_WRITE),
// as huge pages from kLargeBlockBytes on. Only a hint, and only for 64 KiB and more: without it
// (a kernel before 5.14), the pages come as they are touched.
void prefault(void* data, std::size_t bytes);

// One such block, owned; empty when memory ran out.
class LargeBlock {
 public:
  explicit LargeBlock(std::size_t size)
      : data_(allocateBlock(size)), size_(data_ != nullptr ? size : 0) {}
  ~LargeBlock() { freeBlock(data_); }
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;

  void* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void* data_;
  std::size_t size_;
};

// A monotonic arena over this resource whose first block holds what is expected of it (what a
// tree or a copy of a list's values will take, estimated from the text they are made of), so
// that a large one is neither copied nor faulted in piece by piece; past that it grows as any
// arena does.
class SizedArena {
 public:
  explicit SizedArena(std::size_t expectedBytes = 0)
      : first_(std::max(expectedBytes, kSmallestFirstBlock)),
        arena_(first_.data(), first_.size(), largePageResource()) {}

  void* allocate(std::size_t bytes, std::size_t alignment) {
    return arena_.allocate(bytes, alignment);
  }

 private:
  static constexpr std::size_t kSmallestFirstBlock = 1024;

  LargeBlock first_;  // before the arena, which allocates from it
  std::pmr::monotonic_buffer_resource arena_;
};

}  // namespace kyto
