#include "listing_json.h"

#include <cstdint>
#include <string_view>

namespace kyto::clientadm {

namespace {

constexpr std::size_t kFlushSize = 64 * 1024;
constexpr std::size_t kRecordsAhead = 8;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// How many bytes from text[at] on form one well-formed UTF-8 character (Unicode's table of
// well-formed byte sequences), or, when they form none, how many form its longest start: that
// start is replaced as one, and the byte that broke it is read again on its own.
std::size_t utf8Character(std::string_view text, std::size_t at, bool& whole) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    whole = false;
    return 1;
  }
  std::size_t taken = 1;
  for (; taken < length && at + taken < text.size(); ++taken) {
    const unsigned char next = byte(at + taken);
    const bool fits = taken == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
    if (!fits) break;
  }
  whole = taken == length;
  return taken;
}

bool isPlainJsonByte(unsigned char c) {
  return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

void appendEscaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
  }
  const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
  out.append(escape, sizeof escape);
}

// A JSON string: quotes, backslashes and control characters escaped, valid UTF-8 as it is, and
// each longest start of a character that is no valid UTF-8 as U+FFFD. A device names itself,
// and nothing guarantees that its name is UTF-8.
void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t plain = at;
    while (plain < text.size() && isPlainJsonByte(static_cast<unsigned char>(text[plain]))) ++plain;
    out.append(text.data() + at, plain - at);
    at = plain;
    if (at == text.size()) break;
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      appendEscaped(out, c);
      ++at;
      continue;
    }
    bool whole = false;
    const std::size_t length = utf8Character(text, at, whole);
    out.append(whole ? text.substr(at, length) : kReplacement);
    at += length;
  }
  out += '"';
}

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
  out += std::to_string(number);
}

void appendRecord(std::string& out, const ClientRecord& record) {
  char separator = '{';
  for (const std::size_t index : kJsonFieldOrder) {
    const RecordField& field = kRecordFields[index];
    out += separator;
    out += '"';
    out += field.name;
    out += "\":";
    appendValue(out, field, record);
    separator = ',';
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

void writeJsonListing(const ClientRecord* head, std::FILE* out) {
  if (head == nullptr) {
    writeText("[]\n", out);
    return;
  }
  // Each record is written on its own into one buffer, so a large list never becomes one
  // document in memory.
  std::string pending = "[\n";
  pending.reserve(kFlushSize + 4096);
  // The records are asked for ahead (client_record.h): the one kRecordsAhead on, reached
  // through the one asked for in the turn before, and the texts of the next one.
  const ClientRecord* ahead = head;
  for (std::size_t i = 0; i < kRecordsAhead && ahead != nullptr; ++i) ahead = ahead->next;
  for (const ClientRecord* record = head; record != nullptr; record = record->next) {
    if (ahead != nullptr) {
      ahead = ahead->next;
      if (ahead != nullptr) prefetchRecord(ahead);
    }
    if (record->next != nullptr) prefetchTexts(record->next);
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
