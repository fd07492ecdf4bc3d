// A catalogue pattern as a POSIX extended regular expression, compiled only within the bounds
// that keep regcomp's time and memory small: check says why one can't be used, match searches a
// device's texts with it.
#pragma once

#include <regex.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kyto::clientadm {

// glibc's regcomp writes bounded repetitions out and its memory grows with the square of the
// result ("x{1,32767}" alone takes gigabytes), so a pattern that builds more than this many
// elements, repetitions counted out, is not compiled.
inline constexpr std::size_t kMostPatternElements = 1000;

// Every node regcomp can reach from another without reading a character goes into that one's
// closure, and an anchor (^ $ \< \> \` \', two in \b and \B) has what it reaches copied once for
// each context met on the way: time and memory grow with the square of the parts that can match
// nothing, times what the anchors add ("^(x*|y*){100}" takes 180 MB, "(\B|\b){1,25}" seconds and
// a gigabyte). Together these two keep the worst measured under 0.2 s and 40 MB.
inline constexpr std::size_t kMostElementsMatchingNothing = 200;
inline constexpr std::size_t kMostPatternAnchors = 16;

// regcomp parses a group by recursing through four functions, about 650 bytes of stack a level:
// 30,000 "(" overflow the 8 MiB main stack. This many levels stay within 64 KiB, a small share
// of any thread's stack, and far past the nesting any device pattern needs.
inline constexpr std::size_t kDeepestPatternNesting = 100;

// A part that can match nothing repeated without bound ("(x*)*", "a**", "(a|)+") makes a loop
// regcomp walks again and again while it works out what each node reaches: "(x*|y*){20}z**"
// takes a second, five more choices ten. Such a pattern is not compiled at any size; it always
// has a form without the loop ("(x*)*" is "x*").

// What regcomp would build for a pattern. The measure stops at the first limit passed, so it
// takes time in proportion to the pattern whatever it is, and its counts stop past the largest.
struct PatternSize {
  std::size_t elements = 0;         // nodes, with every repetition written out as glibc does
  std::size_t anchors = 0;          // of those, the anchors
  std::size_t matchingNothing = 0;  // of those, the ones in parts that can match nothing
  std::size_t nesting = 0;          // the deepest group nesting reached
  bool repeatsNothing = false;      // repeats without bound a part that can match nothing
  bool operator==(const PatternSize&) const = default;
};

// Counts as glibc 2.36 builds the pattern in the C locale (clientadm never sets another, so each
// byte is a character): one element per character, bracket expression, anchor, back reference,
// '|', '*' and '?', three for \b or \B and two per group; "{m}" writes m copies, "{m,}" m+1 with
// a star, "{m,n}" (and "{,n}") n copies and a node for each of the n-m optional ones, '+' being
// "{1,}"; an interval regcomp refuses leaves what it follows alone.
PatternSize measurePattern(std::string_view pattern);

// A pattern compiled by regcomp with REG_EXTENDED, unless it passes one of the limits above
// (then it is refused uncompiled) or regcomp refuses it.
class BoundedRegex {
 public:
  explicit BoundedRegex(const std::string& pattern);

  // Why the pattern can't be used, or none when it compiled.
  const std::optional<std::string>& problem() const { return problem_; }
  // Whether the expression matches somewhere in text; never when it did not compile.
  bool foundIn(const char* text) const;

 private:
  struct Free {
    void operator()(regex_t* compiled) const;
  };
  std::unique_ptr<regex_t, Free> compiled_;
  std::optional<std::string> problem_;
};

}  // namespace kyto::clientadm
