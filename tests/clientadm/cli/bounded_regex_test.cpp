// The size that regcomp would build for a pattern, which decides whether it is compiled.
#include "cli/bounded_regex.h"

#include <gtest/gtest.h>

#include <string>

namespace kyto::clientadm {

void PrintTo(const PatternSize& s, std::ostream* os) {
  *os << "{" << s.elements << ", " << s.anchors << ", " << s.matchingNothing << ", " << s.nesting
      << ", " << s.repeatsNothing << "}";
}

namespace {

TEST(PatternSize, CountsRepetitionsOutThroughGroupsAndStopsAtTheLimit) {
  const struct {
    std::string pattern;
    PatternSize size;  // elements, anchors, those matching nothing, nesting, repeats nothing
  } cases[] = {
      {"abc", {3, 0, 0, 0}},
      {"[]a-z[:digit:]]{3}", {3, 0, 0, 0}},
      {"\\{{2}", {2, 0, 0, 0}},
      {"(ab){2,4}", {18, 0, 10, 1}},  // two copies, two optional ones each with its node
      {"(a{10}){10}", {120, 0, 0, 1}},
      {"a+", {3, 0, 2, 0}},
      {"a+++", {15, 0, 14, 0}},
      {"(ab)*{3}", {15, 0, 15, 1}},
      {"x{1,}", {3, 0, 2, 0}},
      {"x{2,}", {4, 0, 2, 0}},
      {"x{,5}", {10, 0, 10, 0}},  // "{,n}" is "{0,n}"
      {"x{,}", {2, 0, 2, 0}},
      {"x{0}", {0, 0, 0, 0}},
      {"x{2,1}", {1, 0, 0, 0}},  // left to regcomp to refuse
      {"a|b", {3, 0, 1, 0}},
      {"(^|$)\\b", {8, 4, 8, 1}},
      {"((x))", {5, 0, 0, 2}},
      {"(((", {6, 0, 0, 3}},  // counted as they open
      {"(x+)*", {6, 0, 6, 1, false}},
      {"(x*)+", {9, 0, 9, 1, true}},
      {"((a{1,100}){1,100}){1,100}", {1001, 0, 1001, 2}},  // stops past the limits
      {"x{,32767}", {1001, 0, 1001, 0}},
      {std::string(30000, '('), {202, 0, 0, 101}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(measurePattern(c.pattern), c.size) << c.pattern.substr(0, 40);
}

}  // namespace
}  // namespace kyto::clientadm
