#include "listing_writer.h"

#include <charconv>
#include <cstring>
#include <string>

#include "common/safe_text.h"

namespace kyto::clientadm {

namespace {

// "-2147483648", the longest text of a 32-bit number.
constexpr std::size_t kNumberLength = 11;
// Three numbers, seven '|' and the newline around the five text fields.
constexpr std::size_t kLineFrame = 3 * kNumberLength + 7 + 1;

char* putNumber(char* out, std::int32_t value) {
  return std::to_chars(out, out + kNumberLength, value).ptr;
}

// Texts are printed up to their first NUL, as %s stops there, and each stays one field of one
// line: a device names itself and a user name is anyone's text, so a '|' or a control
// character in them must not forge fields or lines. A safe text has no NUL, so the common case
// is one scan and one copy.
char* putText(char* out, const std::string& text) {
  if (isSafeListingField(text)) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
  }
  const std::string field = listingField(std::string_view(text.c_str()));  // never longer
  std::memcpy(out, field.data(), field.size());
  return out + field.size();
}

// Writes the record's line from out on, which has room for lineBound(record) bytes; returns its
// end.
char* putLine(char* out, const ClientRecord& record) {
  out = putNumber(out, record.deny);
  *out++ = '|';
  out = putText(out, record.mac);
  *out++ = '|';
  out = putText(out, record.ip);
  *out++ = '|';
  out = putText(out, record.deviceName);
  *out++ = '|';
  out = putText(out, record.clientType);
  *out++ = '|';
  out = putNumber(out, record.profileId);
  *out++ = '|';
  out = putText(out, record.user);
  *out++ = '|';
  out = putNumber(out, record.comeFrom);
  *out++ = '\n';
  return out;
}

std::size_t lineBound(const ClientRecord& record) {
  return kLineFrame + record.mac.size() + record.ip.size() + record.deviceName.size() +
         record.clientType.size() + record.user.size();
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

}  // namespace kyto::clientadm
