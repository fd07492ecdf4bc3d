// A stdio stream that collects what is written to it, for code that prints to a FILE*.
#pragma once

#include <cstdio>
#include <string>

namespace kyto::test {

class MemoryStream {
 public:
  MemoryStream();
  ~MemoryStream();
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  std::FILE* get() const { return stream_; }
  std::string text();

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_ = nullptr;
};

}  // namespace kyto::test
