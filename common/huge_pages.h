// Large blocks of memory that the kernel is asked to back with huge pages.
//
// A large list is mostly the cost of its memory: faulting tens of megabytes in 4 KiB pages costs
// more than the work done in them. Blocks from here are mapped in whole 2 MiB pages and advised
// as huge; where the kernel gives none, they work all the same.
#pragma once

#include <cstddef>
#include <new>

namespace kyto {

inline constexpr std::size_t kHugePageBytes = 2 * 1024 * 1024;

// A block of at least size bytes, zero-filled, or null when none can be mapped; size is rounded
// up to whole huge pages, which freeHugePages must be given again.
void* allocateHugePages(std::size_t size);
void freeHugePages(void* block, std::size_t size);

// An allocator for the containers of a large list: an allocation of at least a huge page takes
// huge pages, a smaller one the heap.
template <typename T>
struct HugePageAllocator {
  using value_type = T;
  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kHugePageBytes) return static_cast<T*>(::operator new(bytes));
    void* block = allocateHugePages(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T*>(block);
  }
  void deallocate(T* block, std::size_t count) noexcept {
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kHugePageBytes) {
      ::operator delete(block);
    } else {
      freeHugePages(block, bytes);
    }
  }
  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace kyto
