#include "slot_text.h"

#include <arpa/inet.h>
#include <stdio.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/hex_digit.h"

namespace kyto::dmscache {

namespace {

std::vector<std::string_view> words(std::string_view line) {
  constexpr std::string_view kBlanks = " \t\r";
  std::vector<std::string_view> result;
  size_t pos = line.find_first_not_of(kBlanks);
  while (pos != std::string_view::npos) {
    size_t end = line.find_first_of(kBlanks, pos);
    result.push_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
    pos = line.find_first_not_of(kBlanks, end);
  }
  return result;
}

// A whole word as a number; "0x" selects hexadecimal.
template <typename T>
bool parseNumber(std::string_view text, T& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty() || text[0] == '+') return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size();
}

template <typename T>
bool parseInRange(std::string_view text, long long low, long long high, T& value) {
  long long wide = 0;
  if (!parseNumber(text, wide) || wide < low || wide > high) return false;
  value = static_cast<T>(wide);
  return true;
}

// Six fields of two hexadecimal digits, joined by ':'.
bool parseMac(std::string_view text, std::uint8_t (&mac)[6]) {
  if (text.size() != 17) return false;
  for (int i = 0; i < 6; ++i) {
    int high = kyto::hexDigitValue(text[i * 3]);
    int low = kyto::hexDigitValue(text[i * 3 + 1]);
    if (high < 0 || low < 0 || (i < 5 && text[i * 3 + 2] != ':')) return false;
    mac[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

bool parseIp(std::string_view text, std::uint8_t (&ip)[4]) {
  char buffer[INET_ADDRSTRLEN];
  if (text.size() >= sizeof buffer) return false;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return inet_pton(AF_INET, buffer, ip) == 1;
}

std::string quoted(std::string_view word) {
  return "\"" + std::string(word) + "\"";
}

// The words after SLOT IP MAC.
bool parseOption(std::string_view word, DmsCacheSlot& slot, std::string& error) {
  if (word == "hidden") {
    slot.flags |= kSlotHidden;
    return true;
  }
  if (word == "free") {
    slot.inUse = 0;
    return true;
  }
  size_t eq = word.find('=');
  std::string_view name = word.substr(0, eq);
  std::string_view value = eq == std::string_view::npos ? std::string_view() : word.substr(eq + 1);
  if (name == "type" && eq != std::string_view::npos) {
    if (parseInRange(value, std::numeric_limits<std::int16_t>::min(),
                     std::numeric_limits<std::int16_t>::max(), slot.clientTypeIndex))
      return true;
    error = "client type index " + quoted(value) + " out of range (-32768 to 32767)";
    return false;
  }
  if (name == "flags" && eq != std::string_view::npos) {
    std::uint8_t flags = 0;
    if (parseInRange(value, 0, 255, flags)) {
      slot.flags = static_cast<std::uint8_t>(slot.flags | flags);
      return true;
    }
    error = "flags " + quoted(value) + " out of range (0 to 255)";
    return false;
  }
  if (name == "inuse" && eq != std::string_view::npos) {
    if (parseNumber(value, slot.inUse)) return true;
    error = "bad inuse word " + quoted(value) + " (0 to 2^64-1)";
    return false;
  }
  error = "unknown word " + quoted(word);
  return false;
}

bool parseFields(const std::vector<std::string_view>& w, SlotEntry& entry, std::string& error) {
  if (w.size() < 3) {
    error = "expected SLOT IP MAC";
    return false;
  }
  if (!parseInRange(w[0], 0, kSlotCount - 1, entry.index)) {
    error = "bad slot number " + quoted(w[0]) + " (0 to 63)";
    return false;
  }
  if (!parseIp(w[1], entry.slot.ipAddr)) {
    error = "bad IP address " + quoted(w[1]);
    return false;
  }
  if (!parseMac(w[2], entry.slot.macAddr)) {
    error = "bad MAC address " + quoted(w[2]) + " (six two-digit hex fields joined by ':')";
    return false;
  }
  entry.slot.inUse = 1;
  entry.slot.clientTypeIndex = -1;
  for (size_t i = 3; i < w.size(); ++i) {
    if (!parseOption(w[i], entry.slot, error)) return false;
  }
  return true;
}

}  // namespace

bool parseSlotLine(std::string_view line, std::vector<SlotEntry>& entries, std::string& error) {
  std::vector<std::string_view> w = words(line.substr(0, line.find('#')));
  if (w.empty()) return true;
  SlotEntry entry;
  if (!parseFields(w, entry, error)) return false;
  entries.push_back(entry);
  return true;
}

bool parseSlotText(std::string_view text, std::vector<SlotEntry>& entries, std::string& error) {
  int lineNumber = 0;
  std::vector<int> lineOfSlot(kSlotCount, 0);
  while (!text.empty()) {
    ++lineNumber;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::string lineError;
    size_t before = entries.size();
    if (!parseSlotLine(line, entries, lineError)) {
      error = "line " + std::to_string(lineNumber) + ": " + lineError;
      return false;
    }
    if (entries.size() == before) continue;
    int& first = lineOfSlot[static_cast<size_t>(entries.back().index)];
    if (first != 0) {
      error = "line " + std::to_string(lineNumber) + ": slot " +
              std::to_string(entries.back().index) + " already set on line " +
              std::to_string(first);
      return false;
    }
    first = lineNumber;
  }
  return true;
}

std::string formatSlot(int index, const DmsCacheSlot& slot) {
  char ip[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, slot.ipAddr, ip, sizeof ip);
  const std::uint8_t* m = slot.macAddr;
  char text[160];
  snprintf(text, sizeof text, "%d %s %02x:%02x:%02x:%02x:%02x:%02x type=%d flags=0x%02x inuse=%llu",
           index, ip, m[0], m[1], m[2], m[3], m[4], m[5], slot.clientTypeIndex, slot.flags,
           static_cast<unsigned long long>(slot.inUse));
  return text;
}

}  // namespace kyto::dmscache
