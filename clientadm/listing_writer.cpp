#include "listing_writer.h"

#include <charconv>
#include <cstring>

#include "common/safe_text.h"

namespace kyto::clientadm {

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

void ListingWriter::appendNumber(std::int32_t value) {
  char digits[16];  // "-2147483648" and more fit
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void ListingWriter::write(const ClientRecord& record) {
  // Texts are printed up to their first NUL, as %s stops there, and each stays one field of one
  // line: a device names itself and a user name is anyone's text, so a '|' or a control
  // character in them must not forge fields or lines.
  // A safe text has no NUL, so the common case needs one scan and no search for the end.
  auto text = [this](const std::string& s) {
    if (isSafeListingField(s)) {
      append(s);
    } else {
      append(listingField(std::string_view(s.c_str())));
    }
  };
  appendNumber(record.deny);
  append("|");
  text(record.mac);
  append("|");
  text(record.ip);
  append("|");
  text(record.deviceName);
  append("|");
  text(record.clientType);
  append("|");
  appendNumber(record.profileId);
  append("|");
  text(record.user);
  append("|");
  appendNumber(record.comeFrom);
  append("\n");
}

}  // namespace kyto::clientadm
