#include "name_suggestion.h"

#include <algorithm>
#include <cstddef>

namespace kyto::clientadm {

namespace {

constexpr std::size_t kMostEdits = 2;

char lowered(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Levenshtein distance ignoring letter case; the caller keeps the words' lengths within
// kMostEdits of each other, so the rows stay as short as the name.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t replaced = diagonal + (lowered(a[i - 1]) == lowered(b[j - 1]) ? 0 : 1);
      diagonal = row[j];
      row[j] = std::min({replaced, row[j] + 1, row[j - 1] + 1});
    }
  }
  return row[b.size()];
}

}  // namespace

std::string_view nearestName(std::string_view word, const std::vector<std::string_view>& names) {
  std::string_view best;
  std::size_t bestDistance = kMostEdits + 1;
  for (const std::string_view name : names) {
    const std::size_t lengthGap =
        word.size() > name.size() ? word.size() - name.size() : name.size() - word.size();
    if (lengthGap >= bestDistance) continue;  // no closer than the best already found
    const std::size_t distance = editDistance(word, name);
    if (distance < bestDistance && distance < name.size()) {
      best = name;
      bestDistance = distance;
    }
  }
  return best;
}

std::string suggestion(std::string_view word, const std::vector<std::string_view>& names) {
  const std::string_view name = nearestName(word, names);
  if (name.empty()) return {};
  std::string text("; did you mean \"");
  text.append(name).append("\"?");
  return text;
}

}  // namespace kyto::clientadm
