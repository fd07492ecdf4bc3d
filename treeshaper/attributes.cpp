#include "attributes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "common/appliance_paths.h"
#include "common/hex_digit.h"
#include "common/safe_text.h"
#include "tree_file.h"

namespace kyto::treeshaper {
std::uint32_t selectedIdValue(const std::string& id) {
  return static_cast<std::uint32_t>(std::strtol(id.c_str(), nullptr, 10));
}

SelectedIds::SelectedIds(const AttributeIdList& ids, std::size_t count)
    : used_(std::min(count, ids.size())) {
  for (std::size_t i = 0; i < used_; ++i) values_[i] = selectedIdValue(ids[i]);
}

bool SelectedIds::contains(const char* idText) const {
  if (idText == nullptr) return false;
  const auto value = static_cast<std::uint32_t>(hexTextToInt(idText));
  const std::span<const std::uint32_t> selected = std::span(values_).first(used_);
  return std::ranges::find(selected, value) != selected.end();
}

int isIdSelected(const char* idText, const AttributeIdList& ids, std::size_t count) {
  return SelectedIds(ids, count).contains(idText) ? 1 : 0;
}

std::int32_t hexTextToInt(std::string_view text) {
  std::size_t marker = text.find('x');
  if (marker == std::string_view::npos) marker = text.find('X');
  if (marker == std::string_view::npos) return -1;

  // Shifting in each digit wraps modulo 2^32, so only the last eight positions keep weight.
  std::uint32_t sum = 0;
  for (const char c : text.substr(marker + 1))
    sum = sum * 16 + static_cast<std::uint32_t>(std::max(hexDigitValue(c), 0));
  return static_cast<std::int32_t>(sum);
}

namespace {

// Elements lacking an ID or a NAME, whitespace and comments print nothing.
void printAttribute(const xmlNode* node) {
  const xml::XmlStringHandle id = xml::attributeValue(node, "ID");
  const xml::XmlStringHandle name = xml::attributeValue(node, "NAME");
  if (id == nullptr || name == nullptr) return;
  const char* idText = reinterpret_cast<const char*>(id.get());
  const std::string safeName = withoutControls(reinterpret_cast<const char*>(name.get()));
  std::printf("%d %s\n", hexTextToInt(idText), safeName.c_str());
}

}  // namespace

bool showTreeAttributes(const std::string& fileName, const std::string& type) {
  const std::optional<std::string> path = treePathOrComplaint(fileName);
  if (!path) return false;
  const xml::XmlDocHandle doc = openTreeFile(*path);
  const xmlNode* root = getTreeRoot(doc.get());
  if (root == nullptr) return false;

  const xmlNode* section = findFirstSection(root, type);
  if (section == nullptr || section->children == nullptr) {
    std::puts("File did not contain the nodes we need");
    return false;
  }
  for (const xmlNode* node = section->children; node != nullptr; node = node->next) {
    printAttribute(node);
  }
  return true;
}

bool listTreeAttributes(const std::string& type) {
  return showTreeAttributes(paths::kTreeTemplateName, type);
}

}  // namespace kyto::treeshaper
