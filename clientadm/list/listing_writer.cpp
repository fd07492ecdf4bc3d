#include "listing_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/safe_text.h"

namespace kyto::clientadm {

namespace {

// "-2147483648", the longest text of a 32-bit number.
constexpr std::size_t kNumberLength = 11;

// The room of a line around its texts: its numbers, the '|' between the fields and the newline.
constexpr std::size_t lineFrame() {
  std::size_t frame = kRecordFieldCount;  // the separators and the newline
  for (const RecordField& field : kRecordFields)
    if (field.text == nullptr) frame += kNumberLength;
  return frame;
}

char* putNumber(char* out, std::int32_t value) {
  return std::to_chars(out, out + kNumberLength, value).ptr;
}

// Texts are printed up to their first NUL, as %s stops there, and each stays one field of one
// line: a device names itself and a user name is anyone's text, so a '|' or a control
// character in them must not forge fields or lines. A safe text has no NUL, so the common case
// is one scan and one copy.
char* putText(char* out, std::string_view text) {
  if (isSafeListingField(text)) return std::copy(text.begin(), text.end(), out);
  const std::string field = listingField(text.substr(0, text.find('\0')));  // never longer
  return std::copy(field.begin(), field.end(), out);
}

// Writes the record's line from out on, which has room for lineBound(record) bytes; returns its
// end.
char* putLine(char* out, const ClientRecord& record) {
  for (const RecordField& field : kRecordFields) {
    out = field.text != nullptr ? putText(out, record.*field.text)
                                : putNumber(out, record.*field.number);
    *out++ = '|';
  }
  out[-1] = '\n';
  return out;
}

std::size_t lineBound(const ClientRecord& record) {
  std::size_t bound = lineFrame();
  for (const RecordField& field : kRecordFields)
    if (field.text != nullptr) bound += (record.*field.text).size();
  return bound;
}

}  // namespace

void ListingWriter::flush() {
  if (used_ != 0) std::fwrite(buffer_, 1, used_, out_);
  used_ = 0;
}

void ListingWriter::append(std::string_view text) {
  if (text.size() > kBufferSize - used_) {
    flush();
    if (text.size() > kBufferSize) {
      std::fwrite(text.data(), 1, text.size(), out_);
      return;
    }
  }
  std::memcpy(buffer_ + used_, text.data(), text.size());
  used_ += text.size();
}

void ListingWriter::write(const ClientRecord& record) {
  const std::size_t bound = lineBound(record);
  if (bound > kBufferSize) {
    // Longer than the whole buffer (a device may give itself a long name): made aside.
    std::string line(bound, '\0');
    line.resize(static_cast<std::size_t>(putLine(line.data(), record) - line.data()));
    append(line);
    return;
  }
  if (bound > kBufferSize - used_) flush();
  used_ = static_cast<std::size_t>(putLine(buffer_ + used_, record) - buffer_);
}

void writeTextListing(const ClientRecord* first, std::FILE* out) {
  ListingWriter writer(out);
  for (const ClientRecord* record = first; record != nullptr; record = record->next)
    writer.write(*record);
}

namespace {

constexpr std::size_t kFlushSize = 64 * 1024;

void appendValue(std::string& out, const RecordField& field, const ClientRecord& record) {
  if (field.text != nullptr) {
    appendJsonString(out, record.*field.text);
    return;
  }
  const std::int32_t number = record.*field.number;
  switch (field.kind) {
    case RecordField::Kind::Flag:
      out += number != 0 ? "true" : "false";
      return;
    case RecordField::Kind::Profile:
      if (number < 0) {
        out += "null";
        return;
      }
      break;
    case RecordField::Kind::Text:
    case RecordField::Kind::Number:
      break;
  }
  char digits[kNumberLength];
  out.append(digits, putNumber(digits, number));
}

// Each key in the JSON order with what goes before it ('{' or ','), made once: a large listing
// writes them a million times.
const std::array<std::string, kRecordFieldCount>& jsonKeys() {
  static const std::array<std::string, kRecordFieldCount> keys = [] {
    std::array<std::string, kRecordFieldCount> made;
    for (std::size_t i = 0; i < kRecordFieldCount; ++i)
      made[i] =
          (i == 0 ? "{\"" : ",\"") + std::string(kRecordFields[kJsonFieldOrder[i]].name) + "\":";
    return made;
  }();
  return keys;
}

void appendRecord(std::string& out, const ClientRecord& record) {
  const std::array<std::string, kRecordFieldCount>& keys = jsonKeys();
  for (std::size_t i = 0; i < kRecordFieldCount; ++i) {
    out += keys[i];
    appendValue(out, kRecordFields[kJsonFieldOrder[i]], record);
  }
  out += ",\"source\":\"";
  out += sourceName(record.comeFrom);
  out += "\"}";
}

void writeText(std::string_view text, std::FILE* out) {
  std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace

std::string clientRecordJson(const ClientRecord& record) {
  std::string text;
  appendRecord(text, record);
  return text;
}

void writeJsonListing(const ClientRecord* first, std::FILE* out) {
  if (first == nullptr) {
    writeText("[]\n", out);
    return;
  }
  // Each record is written on its own into one buffer, so a large list never becomes one
  // document in memory.
  std::string pending = "[\n";
  pending.reserve(kFlushSize + 4096);
  for (const ClientRecord* record = first; record != nullptr; record = record->next) {
    appendRecord(pending, *record);
    pending += record->next != nullptr ? ",\n" : "\n]\n";
    if (pending.size() >= kFlushSize) {
      writeText(pending, out);
      pending.clear();
    }
  }
  writeText(pending, out);
}

}  // namespace kyto::clientadm
