// Whether a catalogue pattern compiles as a POSIX extended regular expression.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kyto::clientadm {

// glibc's regcomp writes bounded repetitions out and its memory grows with the square of the
// result ("x{1,32767}" alone takes gigabytes), so a pattern whose size, repetitions counted out,
// passes this many elements is not compiled.
inline constexpr std::size_t kMostPatternElements = 1000;

// The pattern's size with its repetitions counted out as glibc writes them: one element per
// character, bracket expression, group and '*' or '?'; '+' doubles what it repeats, and an interval
// multiplies it by its largest count. Stops early at more than limit.
std::size_t expandedPatternSize(std::string_view pattern, std::size_t limit);

// Why the pattern can't be used as a POSIX extended regular expression, or none when regcomp with
// REG_EXTENDED accepts it. A pattern larger than kMostPatternElements is refused uncompiled.
std::optional<std::string> extendedRegexProblem(const std::string& pattern);

}  // namespace kyto::clientadm
