// An XML input as the tree builder takes it: its bytes read whole, within a size limit, and
// converted to UTF-8 from whatever encoding they are in.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kyto::xmlnode {

// The largest XML file read: 64 MiB, more than five times a client list of 100,000 clients. A
// larger file is not read at all and counts as one beyond the reader's limits, which says nothing
// of whether it is sound.
inline constexpr std::size_t kMostXmlFileBytes = 64 * 1024 * 1024;

// Bytes from allocateMemory (xml_memory.h), which the tree builder takes over without a copy,
// with room for one byte more after them: the builder ends the text there.
class XmlBytes {
 public:
  XmlBytes() = default;
  XmlBytes(char* data, std::size_t size) : data_(data), size_(size) {}

  char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data_.get(), size_}; }
  bool empty() const { return data_ == nullptr; }
  // Gives the bytes up to their new owner, who frees them with freeMemory().
  char* release() { return data_.release(); }

  // A copy of text; empty when memory runs out.
  static XmlBytes copyOf(std::string_view text);

 private:
  struct Free {
    void operator()(char* data) const;
  };
  std::unique_ptr<char, Free> data_;
  std::size_t size_ = 0;
};

enum class InputStatus {
  kRead,
  kUnreadable,  // not opened or read as a regular file: error holds the errno value
  kTooLarge,    // more than kMostXmlFileBytes
  kOutOfMemory,
  kUnknownEncoding,  // declared in an encoding this machine can't convert
  kBadEncoding,      // bytes that are no characters of the encoding it is in
};

struct XmlInput {
  InputStatus status = InputStatus::kRead;
  int error = 0;          // kUnreadable: the errno value (EINVAL: not a regular file)
  std::string encoding;   // kUnknownEncoding, kBadEncoding: the encoding's name
  std::size_t badAt = 0;  // kBadEncoding: where in the UTF-8 text the bad bytes would begin
  XmlBytes text;          // kRead: the document as UTF-8, its byte order mark removed
};

// Reads the regular file at path (never blocking on a FIFO or a device) and converts it.
XmlInput readXmlFile(const std::string& path, std::size_t mostBytes = kMostXmlFileBytes);

// Converts raw bytes to UTF-8 as readXmlFile does: the encoding is told by a byte order mark,
// by the first bytes of a UTF-16 or UTF-32 document without one, or by the XML declaration's
// encoding; UTF-8 without either.
XmlInput toUtf8(XmlBytes raw);

// The encoding raw is in when it is not UTF-8 (empty when it is), and how many bytes of a byte
// order mark it begins with.
std::string encodingOf(std::string_view raw, std::size_t* bomBytes);

// raw, in that encoding and without its byte order mark, converted to UTF-8.
XmlInput convertToUtf8(std::string_view raw, const std::string& encoding);

}  // namespace kyto::xmlnode
