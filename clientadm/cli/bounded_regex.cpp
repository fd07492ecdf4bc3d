#include "bounded_regex.h"

#include <algorithm>
#include <vector>

namespace kyto::clientadm {

namespace {

// glibc refuses counts above this (RE_DUP_MAX).
constexpr std::size_t kMostRepeats = 0x7fff;

// Past every limit: counts saturate here so that no product overflows.
constexpr std::size_t kCap =
    std::max({kMostPatternElements, kMostPatternAnchors, kMostElementsMatchingNothing}) + 1;

std::size_t capped(std::size_t n) {
  return std::min(n, kCap);
}

std::size_t times(std::size_t a, std::size_t b) {
  if (b != 0 && a > kCap / b) return kCap;
  return capped(a * b);
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

struct Interval {
  std::size_t low = 0;
  std::optional<std::size_t> high;  // none for "{m,}"
  std::size_t end = 0;              // the position of the '}'
};

// Reads "{m}", "{m,}", "{,n}", "{m,n}" or "{,}" at start as regcomp does (an empty count is 0
// before the comma and unbounded after it), or none when this is no interval, which regcomp
// refuses in an extended expression.
std::optional<Interval> readInterval(std::string_view p, std::size_t start) {
  std::size_t at = start + 1;
  auto number = [&]() -> std::optional<std::size_t> {
    const std::size_t first = at;
    std::size_t value = 0;
    for (; at < p.size() && p[at] >= '0' && p[at] <= '9'; ++at)
      value = std::min(value * 10 + static_cast<std::size_t>(p[at] - '0'), kMostRepeats + 1);
    if (at == first) return std::nullopt;
    return value;
  };
  Interval interval;
  const auto low = number();
  interval.low = low.value_or(0);
  if (at < p.size() && p[at] == ',') {
    ++at;
    interval.high = number();
  } else if (low) {
    interval.high = low;
  } else {
    return std::nullopt;
  }
  if (at >= p.size() || p[at] != '}') return std::nullopt;
  interval.end = at;
  return interval;
}

struct Count {
  std::size_t elements = 0;
  std::size_t anchors = 0;
  std::size_t matchingNothing = 0;  // of the elements, those in parts that can match nothing
};

Count plus(Count a, Count b) {
  return {capped(a.elements + b.elements), capped(a.anchors + b.anchors),
          capped(a.matchingNothing + b.matchingNothing)};
}

Count times(Count a, std::size_t n) {
  return {times(a.elements, n), times(a.anchors, n), times(a.matchingNothing, n)};
}

// What a part of the pattern builds, and whether it can match the empty string.
struct Part {
  Count count;
  bool canMatchNothing = false;

  static Part matchingNothing(Count count) {
    count.matchingNothing = count.elements;
    return {count, true};
  }
};

// What a part becomes under the interval, as glibc's parse_dup_op writes it out: low copies,
// then for "{m,}" one more under a star (only the star for "{0,}"), for "{m,n}" n-m optional
// copies each with a node of its own.
Part repeated(const Part& part, const Interval& interval, PatternSize& size) {
  const std::size_t low = interval.low;
  // a copy that may be skipped, with the node that skips it
  const Count optional = {capped(part.count.elements + 1), part.count.anchors,
                          capped(part.count.elements + 1)};
  Part result{times(part.count, low), part.canMatchNothing || low == 0};
  if (!interval.high) {
    if (part.canMatchNothing) size.repeatsNothing = true;
    if (low == 0) result.count = {};
    result.count = plus(result.count, optional);
  } else if (*interval.high > low) {
    result.count = plus(result.count, times(optional, *interval.high - low));
  }
  if (result.canMatchNothing) result.count.matchingNothing = result.count.elements;
  return result;
}

struct Level {
  Count outside;                        // what the enclosing groups held when this one opened
  Count whole;                          // everything in this group so far, its parentheses included
  std::optional<Part> last;             // what a repetition here would apply to
  bool earlierCanMatchNothing = true;   // the current branch's parts before the last
  bool aBranchCanMatchNothing = false;  // of those before the current branch

  void add(const Part& part, bool repeatable) {
    whole = plus(whole, part.count);
    earlierCanMatchNothing &= !last || last->canMatchNothing;
    last = part;
    if (!repeatable) {  // an anchor: regcomp refuses to repeat it
      earlierCanMatchNothing &= part.canMatchNothing;
      last.reset();
    }
  }
  void endBranch() {
    aBranchCanMatchNothing |= earlierCanMatchNothing && (!last || last->canMatchNothing);
    earlierCanMatchNothing = true;
    last.reset();
  }
};

}  // namespace

PatternSize measurePattern(std::string_view p) {
  std::vector<Level> levels(1);
  PatternSize size;
  const Part character{{1, 0, 0}};
  const Part anchor = Part::matchingNothing({1, 1});
  for (std::size_t at = 0; at < p.size(); ++at) {
    Level& level = levels.back();
    switch (p[at]) {
      case '\\': {
        const char escaped = ++at < p.size() ? p[at] : '\0';
        if (escaped == 'b' || escaped == 'B')
          level.add(Part::matchingNothing({3, 2}), false);  // either of two anchors
        else if (escaped == '<' || escaped == '>' || escaped == '`' || escaped == '\'')
          level.add(anchor, false);
        else if (escaped >= '1' && escaped <= '9')  // matches nothing after an empty group
          level.add(Part::matchingNothing({1, 0}), true);
        else
          level.add(character, true);  // a character or a class such as \w
        break;
      }
      case '[':
        at = bracketEnd(p, at);
        level.add(character, true);
        break;
      case '^':
      case '$':
        level.add(anchor, false);
        break;
      case '|':  // a node that chooses without reading a character
        level.endBranch();
        level.whole = plus(level.whole, {1, 0, 1});
        break;
      case '(':
        levels.push_back({plus(level.outside, level.whole), {2, 0, 0}, std::nullopt});
        size.nesting = std::max(size.nesting, levels.size() - 1);
        break;
      case ')':
        if (levels.size() > 1) {
          level.endBranch();
          Part group{level.whole, level.aBranchCanMatchNothing};
          if (group.canMatchNothing) group = Part::matchingNothing(group.count);
          levels.pop_back();
          levels.back().add(group, true);
        } else {
          level.add(character, true);  // an unmatched ')' is an ordinary character
        }
        break;
      case '*':
      case '?':
      case '+':
      case '{': {
        Interval interval;  // '*' is "{0,}"
        if (p[at] == '+') interval.low = 1;
        if (p[at] == '?') interval.high = 1;
        if (p[at] == '{') {
          const auto read = readInterval(p, at);
          if (!read) {
            level.add(character, true);
            break;
          }
          at = read->end;
          // regcomp refuses these before it writes anything out
          if ((read->high && read->low > *read->high) ||
              std::max(read->low, read->high.value_or(0)) > kMostRepeats)
            break;
          interval = *read;
        }
        if (!level.last) break;  // nothing to repeat, which regcomp refuses
        const Part grown = repeated(*level.last, interval, size);
        level.whole.elements -= level.last->count.elements;
        level.whole.anchors -= level.last->count.anchors;
        level.whole.matchingNothing -= level.last->count.matchingNothing;
        level.whole = plus(level.whole, grown.count);
        level.last = grown;
        break;
      }
      default:
        level.add(character, true);
        break;
    }
    const Count all = plus(levels.back().outside, levels.back().whole);
    size.elements = all.elements;
    size.anchors = all.anchors;
    size.matchingNothing = all.matchingNothing;
    if (size.elements > kMostPatternElements || size.anchors > kMostPatternAnchors ||
        size.matchingNothing > kMostElementsMatchingNothing ||
        size.nesting > kDeepestPatternNesting || size.repeatsNothing)
      break;
  }
  return size;
}

void BoundedRegex::Free::operator()(regex_t* compiled) const {
  regfree(compiled);
  delete compiled;
}

namespace {

// Why a pattern of this size is not compiled, or none when it is within every limit.
std::optional<std::string> limitPassed(const PatternSize& size) {
  const auto tooMany = [](std::size_t limit, const char* what) {
    return "it has more than " + std::to_string(limit) + " " + what +
           " with its repetitions counted out, too many to compile here";
  };
  if (size.nesting > kDeepestPatternNesting)
    return "it nests groups more than " + std::to_string(kDeepestPatternNesting) +
           " deep, too deep to compile here";
  if (size.elements > kMostPatternElements) return tooMany(kMostPatternElements, "elements");
  if (size.anchors > kMostPatternAnchors) return tooMany(kMostPatternAnchors, "anchors");
  if (size.matchingNothing > kMostElementsMatchingNothing)
    return tooMany(kMostElementsMatchingNothing, "elements that can match nothing");
  if (size.repeatsNothing)
    return std::string(
        "it repeats without bound a part that can match nothing, which regcomp can take "
        "exponential time over");
  return std::nullopt;
}

}  // namespace

BoundedRegex::BoundedRegex(const std::string& pattern)
    : problem_(limitPassed(measurePattern(pattern))) {
  if (problem_) return;
  auto compiled = std::make_unique<regex_t>();
  // Only whether it matches is asked, never where.
  const int status = regcomp(compiled.get(), pattern.c_str(), REG_EXTENDED | REG_NOSUB);
  if (status == 0) {
    compiled_.reset(compiled.release());
    return;
  }
  char text[128];
  regerror(status, compiled.get(), text, sizeof text);
  problem_ = std::string(text);
}

bool BoundedRegex::foundIn(const char* text) const {
  return compiled_ != nullptr && regexec(compiled_.get(), text, 0, nullptr, 0) == 0;
}

}  // namespace kyto::clientadm
