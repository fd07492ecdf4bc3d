#include "brix_args.h"

namespace kyto::brix {

std::vector<std::string> splitCommandLine(std::string_view line) {
  constexpr std::string_view kBlanks = " \t";
  std::vector<std::string> words;
  size_t pos = line.find_first_not_of(kBlanks);
  while (pos != std::string_view::npos) {
    size_t end = line.find_first_of(kBlanks, pos);
    words.emplace_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
    pos = line.find_first_not_of(kBlanks, end);
  }
  return words;
}

std::vector<std::string> argumentVector(const std::vector<std::string_view>& strings) {
  if (strings.size() == 1) return splitCommandLine(strings.front());
  return {strings.begin(), strings.end()};
}

}  // namespace kyto::brix
