#include "name_suggestion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

namespace kyto::clientadm {

namespace {

constexpr std::size_t kMostEdits = 2;
constexpr std::size_t kFar = kMostEdits + 1;

char lowered(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t lengthGap(std::string_view a, std::string_view b) {
  return a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
}

// Levenshtein distance ignoring letter case, or kFar as soon as it must exceed `within`. Both
// words are at most kMostSuggestedLength long. *steps grows by the cells computed.
std::size_t editDistance(std::string_view a, std::string_view b, std::size_t within,
                         std::size_t* steps) {
  std::array<std::size_t, kMostSuggestedLength + 1> row{};
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    std::size_t best = row[0];
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t replaced = diagonal + (lowered(a[i - 1]) == lowered(b[j - 1]) ? 0 : 1);
      diagonal = row[j];
      row[j] = std::min({replaced, row[j] + 1, row[j - 1] + 1});
      best = std::min(best, row[j]);
    }
    *steps += b.size();
    if (best > within) return kFar;  // no later row gets below its row's least value
  }
  return row[b.size()] <= within ? row[b.size()] : kFar;
}

// Whether name is a better answer than the best so far: closer, and close enough for its length.
bool improves(std::size_t distance, std::string_view name, std::size_t bestDistance) {
  return distance < bestDistance && distance < name.size();
}

std::string asSuggestion(std::string_view name) {
  if (name.empty()) return {};
  std::string text("; did you mean \"");
  text.append(name).append("\"?");
  return text;
}

}  // namespace

std::string_view nearestName(std::string_view word, const std::vector<std::string_view>& names) {
  if (word.size() > kMostSuggestedLength) return {};
  std::string_view best;
  std::size_t bestDistance = kFar;
  std::size_t steps = 0;
  for (const std::string_view name : names) {
    if (name.size() > kMostSuggestedLength || lengthGap(word, name) >= bestDistance) continue;
    const std::size_t distance = editDistance(word, name, bestDistance - 1, &steps);
    if (improves(distance, name, bestDistance)) {
      best = name;
      bestDistance = distance;
    }
  }
  return best;
}

std::string suggestion(std::string_view word, const std::vector<std::string_view>& names) {
  return asSuggestion(nearestName(word, names));
}

NameSuggester::NameSuggester(const std::vector<std::string_view>& names)
    : byLength_(kMostSuggestedLength + 1) {
  for (std::size_t rank = 0; rank < names.size(); ++rank) {
    if (names[rank].size() <= kMostSuggestedLength)
      byLength_[names[rank].size()].push_back({rank, names[rank]});
  }
}

std::string NameSuggester::suggestion(std::string_view word) {
  if (word.size() > kMostSuggestedLength) return {};
  const std::string key(word);
  if (const auto known = known_.find(key); known != known_.end())
    return asSuggestion(known->second);
  if (budget_ == 0) return {};
  std::string_view best;
  std::size_t bestDistance = kFar;
  std::size_t bestRank = std::numeric_limits<std::size_t>::max();
  std::size_t steps = 0;
  const std::size_t shortest = word.size() > kMostEdits ? word.size() - kMostEdits : 0;
  const std::size_t longest = std::min(word.size() + kMostEdits, kMostSuggestedLength);
  for (std::size_t length = shortest; length <= longest && steps < budget_; ++length) {
    for (const Ranked& candidate : byLength_[length]) {
      if (lengthGap(word, candidate.name) > bestDistance) continue;
      const std::size_t distance = editDistance(word, candidate.name, bestDistance, &steps);
      // Equally close names: the one first in the order of preference.
      const bool tie = distance == bestDistance && candidate.rank < bestRank;
      if ((improves(distance, candidate.name, bestDistance) ||
           (tie && distance < candidate.name.size())) &&
          distance < kFar) {
        best = candidate.name;
        bestDistance = distance;
        bestRank = candidate.rank;
      }
      if (steps >= budget_) break;
    }
  }
  if (steps >= budget_) {
    budget_ = 0;  // an answer cut short could name a worse match than a later word would get
    return {};
  }
  budget_ -= steps;
  known_.emplace(key, best);
  return asSuggestion(best);
}

}  // namespace kyto::clientadm
