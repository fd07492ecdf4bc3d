// The client cache segment as the writer tool sees it: get, create, attach, remove.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kyto::dmscache {

// Identifier of the full-size segment, created with the daemon's mode when missing; -1 with a
// message when the system refuses (for example an existing segment that is too small).
int getFullSegment(std::string& error);

// Identifier of the existing segment, or -1 with a message when there is none.
int findSegment(std::string& error);

// Creates a segment of the given size; fails when one exists already.
bool createSegment(std::size_t size, std::string& error);

// Removes the segment; a missing segment is no error.
bool removeSegment(std::string& error);

// A segment attached to this process for as long as the object lives.
class AttachedSegment {
 public:
  AttachedSegment() = default;
  ~AttachedSegment();
  AttachedSegment(const AttachedSegment&) = delete;
  AttachedSegment& operator=(const AttachedSegment&) = delete;

  bool attach(int id, bool readOnly, std::string& error);
  std::uint8_t* data() const { return static_cast<std::uint8_t*>(address_); }
  std::size_t size() const { return size_; }

 private:
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace kyto::dmscache
