#include <kytoutil/kytoutil.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/client_type_registry.h"
#include "common/client_schema.h"
#include "common/descriptors.h"
#include "common/hex_digit.h"
#include "config_check.h"
#include "name_suggestion.h"

namespace kyto::clientadm {

namespace {

using namespace schema;

constexpr char kSkipped[] = "the entry is skipped, never listed, never served";
constexpr char kNewListOnAdd[] =
    "the next add keeps a .corrupt- copy of the file and starts a new list";

// Built on first use, so that no other command pays for it at start and exit.
const std::vector<std::string_view>& clientAttributes() {
  static const std::vector<std::string_view> names(std::begin(kAttributeNames),
                                                   std::end(kAttributeNames));
  return names;
}

// A decimal integer with an optional sign that an int holds.
bool isDecimalInt(const std::string& text) {
  const std::optional<long> value = plainDecimalValue(text);
  return value && *value >= INT_MIN && *value <= INT_MAX;
}

// "CUST" and 12 hexadecimal digits.
bool isWellFormedCustomType(std::string_view name) {
  return isCustomClientType(name) &&
         std::all_of(name.begin() + 4, name.end(), [](char c) { return hexDigitValue(c) >= 0; });
}

// One CLIENT under check, with where to report.
using Entry = CheckedElement;

// The addresses seen so far (6 bytes as one number), with the line of their first entry.
using FirstLines = std::unordered_map<std::uint64_t, long>;

void checkMac(const Entry& entry, FirstLines& seen) {
  const auto mac = attributeValue(entry.element, attributeName(kMac));
  if (!mac) {
    entry.problem(std::string("CLIENT has no MAC: ") + kSkipped);
    return;
  }
  unsigned char bytes[6];
  if (convertMacStrToMacBinStr(mac->c_str(), reinterpret_cast<char*>(bytes)) != 0) {
    entry.problem("MAC " + quoted(*mac) +
                  " is not six hexadecimal fields joined by ':': " + kSkipped);
    return;
  }
  std::uint64_t address = 0;
  for (const unsigned char byte : bytes) address = address << 8 | byte;
  const auto [first, added] = seen.emplace(address, entry.line);
  if (!added)
    entry.problem("MAC " + quoted(*mac) + " is the address of the CLIENT of line " +
                  std::to_string(first->second) +
                  " as well: this entry is shadowed, list shows the earlier one's profile, user, "
                  "client type and deny flag");
}

void checkProfile(const Entry& entry) {
  const auto text = attributeValue(entry.element, attributeName(kProfile));
  if (!text) return;
  const bool plain = !text->empty() && text->find_first_not_of("0123456789") == std::string::npos;
  const int read = profileFrom(text->c_str());
  if (plain && read != kNoProfile && isDecimalInt(*text)) return;
  entry.problem(std::string(attributeName(kProfile)) + " " + quoted(*text) +
                " is not a number from 0 to " + std::to_string(kHighestProfileId) +
                ": it is read as " +
                (read != kNoProfile ? "profile " + std::to_string(read)
                                    : "no profile (" + std::to_string(kNoProfile) + ")"));
}

void checkDeny(const Entry& entry) {
  const auto text = attributeValue(entry.element, attributeName(kDeny));
  if (!text || isDecimalInt(*text)) return;
  entry.problem(
      std::string(attributeName(kDeny)) + " " + quoted(*text) + " is not a number: it is read as " +
      (denyFrom(text->c_str()) != 0 ? "1, the device is denied" : "0, the device is not denied"));
}

// The client types a CLIENT_TYPE may name, and the suggestions for those it names wrongly: one
// suggester for the whole list, so that many clients against a large catalogue stay bounded.
class KnownClientTypes {
 public:
  explicit KnownClientTypes(const std::unordered_set<std::string>& catalogue)
      : catalogue_(catalogue), preferred_(inOrder(catalogue)), suggester_(preferred_) {}

  bool contains(const std::string& type) const {
    return catalogue_.count(type) != 0 || type == kDefaultClientType ||
           isWellFormedCustomType(type);
  }
  std::string suggestion(std::string_view type) { return suggester_.suggestion(type); }

 private:
  // The default type first, then the catalogue's in byte order: the same suggestion whatever the
  // set's order.
  static std::vector<std::string_view> inOrder(const std::unordered_set<std::string>& catalogue) {
    std::vector<std::string_view> names(catalogue.begin(), catalogue.end());
    std::sort(names.begin(), names.end());
    names.insert(names.begin(), kDefaultClientType);
    return names;
  }

  const std::unordered_set<std::string>& catalogue_;
  std::vector<std::string_view> preferred_;
  NameSuggester suggester_;
};

void checkClientType(const Entry& entry, KnownClientTypes* known) {
  const auto type = attributeValue(entry.element, attributeName(kClientType));
  if (!type || type->empty() || known == nullptr || known->contains(*type)) return;
  entry.problem("CLIENT_TYPE " + quoted(*type) +
                " is neither a catalogue short name nor CUST and 12 hexadecimal digits: no "
                "catalogue type applies to the device" +
                known->suggestion(*type));
}

void checkEntry(const Entry& entry, KnownClientTypes* known, FirstLines& seen) {
  checkMac(entry, seen);
  checkProfile(entry);
  checkDeny(entry);
  checkClientType(entry, known);
  reportUnknownAttributes(entry, kClientElement, clientAttributes());
}

// What add and del refuse of a list they read: one whose rewrite outgrows what the tools read or
// would not keep its document type, and, for add, one whose document type changes what a new
// client says.
void checkRewrite(const std::string& path, const XMLNode& document, CheckReport& report) {
  static_assert(xml::kMostXmlFileBytes == 64 * 1024 * 1024, "the text names it");
  // The entry an add writes: four texts of at most 4096 bytes, each byte escaped in at most 6.
  constexpr std::size_t kLargestNewEntryBytes = 4 * 4096 * 6 + 128;
  const std::size_t rewritten = document.createXMLString().size();
  if (rewritten > xml::kMostXmlFileBytes)
    report.add(path, 0,
               "would be larger than the 64 MiB the tools read once rewritten: add and del fail "
               "and leave it as it is");
  else if (rewritten + kLargestNewEntryBytes > xml::kMostXmlFileBytes)
    report.add(path, 0,
               "is within 100 KB of the 64 MiB the tools read once rewritten: an add of a long "
               "client fails and leaves it as it is");
  if (document.documentTypeExpanded())
    report.add(path, 0,
               "its document type uses parameter entities, which a rewrite would not keep as "
               "written: add and del fail and leave it as it is");
  else if (document.declaresAttributesOf(kClientElement))
    report.add(path, 0,
               "its document type gives CLIENT attributes defaults or types, which a new client "
               "would take on: add fails and leaves it as it is");
}

// Reports why the list can't be used, or returns its UPNP_CLIENTS element.
XMLNode listElement(const std::string& path, const ConfigDocument& document, CheckReport& report) {
  using Outcome = ConfigDocument::Outcome;
  switch (document.outcome) {
    case Outcome::Missing:
      return {};  // no list yet: add starts one
    case Outcome::Unreadable:
      report.add(path, 0,
                 std::string("cannot be read (") + inputProblem(document.error) +
                     "): no stored client is listed");
      return {};
    case Outcome::Malformed:
      report.add(path, document.errorLine,
                 "not well-formed (" + document.message + "): no stored client is listed, and " +
                     kNewListOnAdd);
      return {};
    case Outcome::BeyondLimits:
      report.add(path, 0,
                 "is not read (" + document.message +
                     "): no stored client is listed, and add and del fail and leave it as it "
                     "is; " +
                     adviceFor(document.bound));
      return {};
    case Outcome::Parsed:
      break;
  }
  const XMLNode root = document.top.getChildNode();
  XMLNode top = document.top.findElement(kListElement);
  if (top.isEmpty()) {
    report.add(path, root.getLine(),
               std::string("has no UPNP_CLIENTS element: no stored client is listed, and ") +
                   kNewListOnAdd);
  } else if (!(top == root)) {
    // Read finds the element anywhere; add and del only as the root.
    report.add(path, root.getLine(),
               "the root element " + quoted(root.getName()) +
                   " is not UPNP_CLIENTS: list reads the UPNP_CLIENTS inside it, but " +
                   kNewListOnAdd + " and del fails");
  }
  return top;
}

}  // namespace

void checkClientList(const std::string& path, const ConfigDocument& document,
                     const std::unordered_set<std::string>* catalogueNames, CheckReport& report) {
  const XMLNode top = listElement(path, document, report);
  if (top.isEmpty()) return;
  checkRewrite(path, document.top, report);
  std::optional<KnownClientTypes> known;
  if (catalogueNames != nullptr) known.emplace(*catalogueNames);
  FirstLines seen;
  for (XMLNode child = top.getChildNode(); !child.isEmpty(); child = child.nextSibling()) {
    const Entry entry{path, child, child.getLine(), report};
    if (std::string_view(child.getName()) == kClientElement) {
      checkEntry(entry, known ? &*known : nullptr, seen);
    } else {
      entry.problem("element " + quoted(child.getName()) + " is not a CLIENT: it is ignored" +
                    suggestion(child.getName(), {kClientElement}));
    }
  }
}

}  // namespace kyto::clientadm
