// The listing lines of the list command, gathered in a buffer and written in large blocks.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "client_record.h"

namespace kyto::clientadm {

// Writes "deny|mac|ip|deviceName|clientType|profileId|user|comeFrom\n" per record (the fields of
// kRecordFields in their order), byte for byte
// as "%d|%s|%s|%s|%s|%d|%s|%d\n" would, without printf's per-field cost, except that each '|'
// and each control character (0x00-0x1F, 0x7F) of a text field is written as '?'. What is
// still buffered is written when the writer goes away.
class ListingWriter {
 public:
  explicit ListingWriter(std::FILE* out) : out_(out) {}
  ~ListingWriter() { flush(); }
  ListingWriter(const ListingWriter&) = delete;
  ListingWriter& operator=(const ListingWriter&) = delete;

  void write(const ClientRecord& record);
  void flush();

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  void append(std::string_view text);

  std::FILE* out_;
  std::size_t used_ = 0;
  char buffer_[kBufferSize];
};

// Writes the records from head on, one line each, as ListingWriter writes them.
void writeTextListing(const ClientRecord* head, std::FILE* out);

}  // namespace kyto::clientadm
