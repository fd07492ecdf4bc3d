// The name a mistyped word most likely meant, for the check command's messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kyto::clientadm {

// A typo changes a few characters of a name someone typed; a word or name longer than this is
// compared with nothing, which keeps each comparison to a few thousand steps.
inline constexpr std::size_t kMostSuggestedLength = 64;

// The steps (cells of the edit distance tables) that one suggester spends in all. A file that
// names many unknown types against a large catalogue gets suggestions until they are spent and
// none after, so that check ends in bounded time whatever the files hold.
inline constexpr std::size_t kSuggestionBudget = 400'000'000;

// The name closest to word when it is close: at most 2 edits (insert, delete or replace one
// character, letter case ignored), and fewer edits than the name has characters. The first of
// equally close names wins; "" when none is close, or word or every name is longer than
// kMostSuggestedLength. For a handful of names; a large set of them goes to a NameSuggester.
std::string_view nearestName(std::string_view word, const std::vector<std::string_view>& names);

// "; did you mean \"NAME\"?" for the nearest name, or "" when none is close.
std::string suggestion(std::string_view word, const std::vector<std::string_view>& names);

// Suggestions from one large set of names, asked for many words: the names are kept by length,
// so a word is compared only with names of about its length, each word's answer is kept, and the
// whole costs at most kSuggestionBudget steps.
class NameSuggester {
 public:
  // names in order of preference; they must outlive the suggester.
  explicit NameSuggester(const std::vector<std::string_view>& names);

  // As suggestion() over the names, or "" once the budget is spent.
  std::string suggestion(std::string_view word);

 private:
  struct Ranked {
    std::size_t rank;  // position in the order of preference
    std::string_view name;
  };
  std::vector<std::vector<Ranked>> byLength_;  // index: a name's length
  std::unordered_map<std::string, std::string_view> known_;
  std::size_t budget_ = kSuggestionBudget;
};

}  // namespace kyto::clientadm
