#include "xml_memory.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <pugixml.hpp>
#include <vector>

#include "common/huge_pages.h"

namespace kyto::xmlnode {

namespace {

constexpr std::size_t kChunkBytes = 2 * kHugePageBytes;
constexpr std::size_t kAlignment = 16;

std::size_t roundUp(std::size_t size, std::size_t unit) {
  return (size + unit - 1) / unit * unit;
}

// A mapping that memory is handed out of from its start; it goes when all of it was given back.
struct Chunk {
  char* base;
  std::size_t size;
  std::size_t used;
  std::size_t live;  // pieces given out and not yet given back
};

thread_local bool t_large = false;

class HugePageChunks {
 public:
  void* allocate(std::size_t size) {
    size = roundUp(size, kAlignment);
    const std::lock_guard<std::mutex> hold(mutex_);
    if (chunks_.empty() || chunks_.back().size - chunks_.back().used < size) {
      if (!addChunk(size)) return nullptr;
    }
    Chunk& chunk = chunks_.back();
    void* piece = chunk.base + chunk.used;
    chunk.used += size;
    ++chunk.live;
    return piece;
  }

  // False when the memory is not of a chunk.
  bool free(void* memory) {
    const std::lock_guard<std::mutex> hold(mutex_);
    for (auto chunk = chunks_.begin(); chunk != chunks_.end(); ++chunk) {
      const auto* at = static_cast<const char*>(memory);
      if (at < chunk->base || at >= chunk->base + chunk->size) continue;
      if (--chunk->live == 0) {
        freeHugePages(chunk->base, chunk->size);
        chunks_.erase(chunk);
      }
      return true;
    }
    return false;
  }

 private:
  bool addChunk(std::size_t atLeast) {
    const std::size_t size = roundUp(atLeast > kChunkBytes ? atLeast : kChunkBytes, kHugePageBytes);
    void* base = allocateHugePages(size);
    if (base == nullptr) return false;
    try {
      chunks_.push_back({static_cast<char*>(base), size, 0, 0});
    } catch (...) {
      freeHugePages(base, size);
      return false;
    }
    return true;
  }

  std::mutex mutex_;
  std::vector<Chunk> chunks_;  // few: the last one is the one handed out of
};

HugePageChunks& chunks() {
  static HugePageChunks instance;
  return instance;
}

void* allocateForPugixml(std::size_t size) {
  return allocateMemory(size);
}

void freeForPugixml(void* memory) {
  freeMemory(memory);
}

// pugixml takes its memory through these from the first document on.
const bool kPugixmlMemorySet = [] {
  pugi::set_memory_management_functions(allocateForPugixml, freeForPugixml);
  return true;
}();

}  // namespace

LargeDocument::LargeDocument(std::size_t bytes) : wasLarge_(t_large) {
  if (bytes >= kLargeDocumentBytes) t_large = true;
}

LargeDocument::~LargeDocument() {
  t_large = wasLarge_;
}

void* allocateMemory(std::size_t size) {
  if (t_large) return chunks().allocate(size);
  return std::malloc(size);
}

void freeMemory(void* memory) {
  if (memory == nullptr || chunks().free(memory)) return;
  std::free(memory);
}

}  // namespace kyto::xmlnode
