#include "common/huge_pages.h"

#include <sys/mman.h>

namespace kyto {

namespace {

std::size_t wholeHugePages(std::size_t size) {
  return (size + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
}

}  // namespace

void* allocateHugePages(std::size_t size) {
  const std::size_t bytes = wholeHugePages(size);
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  madvise(block, bytes, MADV_HUGEPAGE);  // a hint only
  return block;
}

void freeHugePages(void* block, std::size_t size) {
  if (block != nullptr) munmap(block, wholeHugePages(size));
}

}  // namespace kyto
