#include "check_report.h"

#include "common/safe_text.h"

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

std::string quoted(std::string_view value) {
  std::string text("\"");
  text.append(value).append("\"");
  return text;
}

}  // namespace kyto::clientadm
