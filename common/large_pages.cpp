#include "common/large_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kyto {

namespace {

constexpr std::size_t kPrefaultedBytes = 64 * 1024;

std::size_t mappedSize(std::size_t bytes) {
  return (bytes + kLargeBlockBytes - 1) / kLargeBlockBytes * kLargeBlockBytes;
}

void* mapLarge(std::size_t bytes) {
  void* block =
      mmap(nullptr, mappedSize(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  madvise(block, mappedSize(bytes), MADV_HUGEPAGE);  // a hint: without it, ordinary pages
  return block;
}

void unmapLarge(void* block, std::size_t bytes) {
  munmap(block, mappedSize(bytes));
}

class LargePageResource final : public std::pmr::memory_resource {
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    if (bytes < kLargeBlockBytes) return ::operator new(bytes, std::align_val_t(alignment));
    void* block = mapLarge(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
    if (bytes < kLargeBlockBytes) return ::operator delete(block, std::align_val_t(alignment));
    unmapLarge(block, bytes);
  }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
};

// The size of a block of the C interface, before it: a whole malloc alignment, so that the
// block itself stays aligned.
struct alignas(std::max_align_t) BlockHeader {
  std::size_t size;
};

}  // namespace

void prefault(void* data, std::size_t bytes) {
  if (bytes < kPrefaultedBytes) return;
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t skip = (page - reinterpret_cast<std::uintptr_t>(data) % page) % page;
  const std::size_t length = (bytes - skip) / page * page;  // whole pages only
  char* pages = static_cast<char*>(data) + skip;
  if (length >= kLargeBlockBytes) madvise(pages, length, MADV_HUGEPAGE);
  madvise(pages, length, MADV_POPULATE_WRITE);
}

std::pmr::memory_resource* largePageResource() {
  static LargePageResource resource;
  return &resource;
}

void* allocateBlock(std::size_t size) {
  const std::size_t total = size + sizeof(BlockHeader);
  auto* header =
      static_cast<BlockHeader*>(total < kLargeBlockBytes ? std::malloc(total) : mapLarge(total));
  if (header == nullptr) return nullptr;
  header->size = total;
  if (total < kLargeBlockBytes) prefault(header, total);
  return header + 1;
}

void freeBlock(void* block) {
  if (block == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  if (header->size < kLargeBlockBytes) {
    std::free(header);
  } else {
    unmapLarge(header, header->size);
  }
}

void* resizeBlock(void* block, std::size_t size) {
  if (block == nullptr) return allocateBlock(size);
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  const std::size_t total = size + sizeof(BlockHeader);
  if (header->size < kLargeBlockBytes && total < kLargeBlockBytes) {
    header = static_cast<BlockHeader*>(std::realloc(header, total));
    if (header == nullptr) return nullptr;
    header->size = total;
    return header + 1;
  }
  void* moved = allocateBlock(size);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, block, std::min(size, header->size - sizeof(BlockHeader)));
  freeBlock(block);
  return moved;
}

}  // namespace kyto
