#include "memory_stream.h"

#include <stdio.h>

#include <cstdlib>

namespace kyto::test {

MemoryStream::MemoryStream() : stream_(open_memstream(&buffer_, &size_)) {}

MemoryStream::~MemoryStream() {
  if (stream_ != nullptr) std::fclose(stream_);
  std::free(buffer_);
}

std::string MemoryStream::text() {
  std::fflush(stream_);
  return std::string(buffer_ != nullptr ? buffer_ : "", size_);
}

}  // namespace kyto::test
