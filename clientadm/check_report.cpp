#include "check_report.h"

#include <algorithm>

#include "common/safe_text.h"
#include "name_suggestion.h"

namespace kyto::clientadm {

void CheckReport::add(std::string_view path, long line, std::string_view text) {
  std::string entry(path);
  entry.append(":").append(std::to_string(line)).append(": ").append(text);
  lines_.push_back(withoutControls(entry));
}

void CheckReport::print(std::FILE* out) const {
  for (const std::string& line : lines_) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
  }
}

void reportUnknownAttributes(const CheckedElement& entry, std::string_view elementName,
                             const std::vector<std::string_view>& known) {
  for (const auto& [attributeName, value] : entry.element.getAttributes()) {
    const std::string_view name = attributeName;
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    entry.problem(std::string(elementName) + " attribute " + quoted(name) +
                  " is unknown: it is ignored" + suggestion(name, known));
  }
}

std::string quoted(std::string_view value) {
  std::string text("\"");
  text.append(value).append("\"");
  return text;
}

}  // namespace kyto::clientadm
