#include "regex_check.h"

#include <regex.h>

#include <algorithm>
#include <vector>

namespace kyto::clientadm {

namespace {

// glibc refuses counts above this (RE_DUP_MAX).
constexpr std::size_t kMostRepeats = 0x7fff;

std::size_t saturatedProduct(std::size_t a, std::size_t b, std::size_t cap) {
  if (b != 0 && a > cap / b) return cap + 1;
  return std::min(a * b, cap + 1);
}

// The position of the ']' that ends the bracket expression opening at start, or the pattern's
// end when none does (regcomp then reports the missing bracket).
std::size_t bracketEnd(std::string_view p, std::size_t start) {
  std::size_t at = start + 1;
  if (at < p.size() && p[at] == '^') ++at;
  if (at < p.size() && p[at] == ']') ++at;  // a leading ']' is a member
  while (at < p.size() && p[at] != ']') {
    if (p[at] == '[' && at + 1 < p.size() &&
        (p[at + 1] == ':' || p[at + 1] == '.' || p[at + 1] == '=')) {
      const char close[] = {p[at + 1], ']', '\0'};
      const std::size_t end = p.find(close, at + 2);
      if (end == std::string_view::npos) return p.size();
      at = end + 2;
      continue;
    }
    ++at;
  }
  return at;
}

// Reads "{m}", "{m,}" or "{m,n}" at start; the largest count (m+1 for "{m,}", which adds a
// star) and the position of the '}', or none when this is no interval.
bool readInterval(std::string_view p, std::size_t start, std::size_t* count, std::size_t* end) {
  std::size_t at = start + 1;
  auto number = [&](std::size_t* value) {
    const std::size_t first = at;
    *value = 0;
    for (; at < p.size() && p[at] >= '0' && p[at] <= '9'; ++at)
      *value = std::min(*value * 10 + static_cast<std::size_t>(p[at] - '0'), kMostRepeats + 1);
    return at > first;
  };
  std::size_t low = 0;
  std::size_t high = 0;
  if (!number(&low)) return false;
  high = low;
  if (at < p.size() && p[at] == ',') {
    ++at;
    if (!number(&high)) high = low + 1;
  }
  if (at >= p.size() || p[at] != '}') return false;
  *count = std::max({low, high, std::size_t{1}});
  *end = at;
  return true;
}

struct Level {
  std::size_t total = 0;
  std::size_t lastAtom = 0;
};

}  // namespace

std::size_t expandedPatternSize(std::string_view p, std::size_t limit) {
  std::vector<Level> levels(1);
  std::size_t outer = 0;  // the sizes of the levels below the innermost one
  auto addAtom = [&](std::size_t size) {
    levels.back().total = std::min(levels.back().total + size, limit + 1);
    levels.back().lastAtom = size;
  };
  for (std::size_t at = 0; at < p.size(); ++at) {
    Level& level = levels.back();
    std::size_t count = 0;
    std::size_t end = 0;
    switch (p[at]) {
      case '\\':
        ++at;
        addAtom(1);
        break;
      case '[':
        at = bracketEnd(p, at);
        addAtom(1);
        break;
      case '(':
        outer = std::min(outer + level.total, limit + 1);
        levels.emplace_back();
        break;
      case ')':
        if (levels.size() > 1) {
          const std::size_t group = levels.back().total + 1;
          levels.pop_back();
          outer -= std::min(outer, levels.back().total);
          addAtom(group);
        } else {
          addAtom(1);
        }
        break;
      case '*':
      case '?':  // a node around the atom
        level.total = std::min(level.total + 1, limit + 1);
        level.lastAtom = std::min(level.lastAtom + 1, limit + 1);
        break;
      case '+':  // written out as the atom and a starred copy of it, so "a++++" doubles each time
        level.total = std::min(level.total + level.lastAtom + 1, limit + 1);
        level.lastAtom = std::min(2 * level.lastAtom + 1, limit + 1);
        break;
      case '{':
        if (!readInterval(p, at, &count, &end)) {
          addAtom(1);
          break;
        }
        at = end;
        {
          const std::size_t grown = saturatedProduct(level.lastAtom, count, limit);
          level.total = std::min(level.total - level.lastAtom + grown, limit + 1);
          level.lastAtom = grown;
        }
        break;
      default:
        addAtom(1);
        break;
    }
    if (std::min(outer + levels.back().total, limit + 1) > limit) return limit + 1;
  }
  return std::min(outer + levels.back().total, limit + 1);
}

std::optional<std::string> extendedRegexProblem(const std::string& pattern) {
  if (expandedPatternSize(pattern, kMostPatternElements) > kMostPatternElements)
    return "it has more than " + std::to_string(kMostPatternElements) +
           " elements with its repetitions counted out, too many to compile here";
  regex_t compiled;
  const int status = regcomp(&compiled, pattern.c_str(), REG_EXTENDED | REG_NOSUB);
  if (status == 0) {
    regfree(&compiled);
    return std::nullopt;
  }
  char text[128];
  regerror(status, &compiled, text, sizeof text);
  return std::string(text);
}

}  // namespace kyto::clientadm
