// The listing of the list command: its '|'-separated text lines, gathered in a buffer and
// written in large blocks, and its JSON array for programs, which has every text exactly as the
// source gave it where the text listing must replace '|' and control characters.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
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
  // The writer lives on the stack: a larger buffer costs every listing, one client's too, page
  // faults of a deeper stack, and saves a large one only a few writes.
  static constexpr std::size_t kBufferSize = 16 * 1024;

  void append(std::string_view text);

  std::FILE* out_;
  std::size_t used_ = 0;
  char buffer_[kBufferSize];
};

// Writes the records from first on through next, one line each, as ListingWriter writes them.
void writeTextListing(const ClientRecord* first, std::FILE* out);

// One record as a JSON object on one line, keys in this order: "deny" (boolean), "mac", "ip",
// "deviceName", "clientType", "user" (strings, "" when not given), "profileId" (number, null
// when none), "comeFrom" (number) and "source" ("userSettings", "clientCache" or
// "searchCache"). Bytes that are not valid UTF-8 become U+FFFD.
std::string clientRecordJson(const ClientRecord& record);

// Writes the records from first on as one JSON array, one object per line: "[]\n" when there is
// none.
void writeJsonListing(const ClientRecord* first, std::FILE* out);

}  // namespace kyto::clientadm
