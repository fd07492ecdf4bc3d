#include <kytoutil/kytoutil.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/bounded_regex.h"
#include "cli/enumeration_names.h"
#include "common/client_schema.h"
#include "common/descriptors.h"
#include "common/safe_text.h"
#include "config_check.h"
#include "name_suggestion.h"

namespace kyto::clientadm {

namespace {

constexpr char kIgnored[] =
    "the catalogue is ignored: clientadm knows no client type but StandardDLNA150";
constexpr std::string_view kFlagSeparators = "|, ";  // as the library splits FLAG and SFLAG

// Built on first use, so that no other command pays for it at start and exit.
const std::vector<std::string_view>& catalogueAttributes() {
  static const std::vector<std::string_view> names = {"SHORT_NAME",   "FULL_NAME", "FLAG",
                                                      "SFLAG",        "PATTERN",   "PATTERN_TYPE",
                                                      "COMPARE_TYPE", "TRANSCODE", "BFLAG"};
  return names;
}

template <typename Record>
std::vector<std::string_view> namesOf(const Record* table) {
  std::vector<std::string_view> names;
  for (; table->name != nullptr; ++table) names.emplace_back(table->name);
  return names;
}

// One CLIENTTYPE under check, with where to report.
using Entry = CheckedElement;

void checkFlagWords(const Entry& entry, const char* attribute, uint_name_st* table,
                    const char* what) {
  const auto value = attributeValue(entry.element, attribute);
  if (!value) return;
  const std::vector<std::string_view> names = namesOf(table);
  std::string_view rest(*value);
  while (!rest.empty()) {
    const std::size_t start = rest.find_first_not_of(kFlagSeparators);
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::string word(rest.substr(0, rest.find_first_of(kFlagSeparators)));
    rest.remove_prefix(word.size());
    if (FlagStrToUint(table, word.c_str()) != 0) continue;
    entry.problem(std::string(attribute) + " word " + quoted(word) + " names no " + what +
                  ": it is dropped" + suggestion(word, names));
  }
}

// PATTERN_TYPE and COMPARE_TYPE: the entry the library reads, or null when the text names none.
const int_name_st* checkEnumeration(const Entry& entry, const char* attribute, int_name_st* table,
                                    const char* what) {
  const auto value = attributeValue(entry.element, attribute);
  if (!value) return nullptr;
  if (const int_name_st* found = findEnumerationName(table, *value)) return found;
  std::string text = std::string(attribute) + " " + quoted(*value) + " names no " + what +
                     ": it is read as " +
                     enumerationName(table, FlagStrToInt(table, value->c_str()));
  if (value->find(' ') != std::string::npos) text += "; the text has a space, which no name has";
  entry.problem(text + suggestion(*value, namesOf(table)));
  return nullptr;
}

void checkPattern(const Entry& entry, const int_name_st* compareType) {
  const auto pattern = attributeValue(entry.element, "PATTERN");
  if (!pattern || compareType == nullptr ||
      compareType->value != FlagStrToInt(s_compareTypeName, "RegularExpression"))
    return;
  if (const auto problem = BoundedRegex(*pattern).problem())
    entry.problem("PATTERN " + quoted(*pattern) +
                  " does not compile as a POSIX extended regular expression (" + *problem +
                  "): no device can match it");
}

// The library reads BFLAG as a long: a plain decimal integer that fits one is sound.
void checkBflag(const Entry& entry) {
  const auto value = attributeValue(entry.element, "BFLAG");
  if (!value || schema::plainDecimalValue(*value)) return;
  entry.problem("BFLAG " + quoted(*value) + " is not a decimal integer: it is read as " +
                std::to_string(std::strtol(value->c_str(), nullptr, 10)));
}

// Short names seen so far, with the line of their first entry.
using FirstLines = std::unordered_map<std::string, long>;

void checkShortName(const Entry& entry, FirstLines& seen) {
  const auto name = attributeValue(entry.element, "SHORT_NAME");
  if (!name || name->empty()) {
    entry.problem(std::string("CLIENTTYPE has ") + (name ? "an empty" : "no") +
                  " SHORT_NAME: clientadm stops reading the catalogue here, so this type and "
                  "every later one are unknown to it");
    return;
  }
  const auto [first, added] = seen.emplace(*name, entry.line);
  if (!added)
    entry.problem("SHORT_NAME " + quoted(*name) + " repeats the type of line " +
                  std::to_string(first->second) + ": this entry is ignored");
}

// The usage text lists every type by its names, one line each.
void checkPrintable(const Entry& entry, const char* attribute) {
  const auto name = attributeValue(entry.element, attribute);
  if (!name || isSafeToPrint(*name)) return;
  entry.problem(std::string(attribute) + " " + quoted(*name) +
                " holds a control character: the usage text shows each as '?'");
}

void checkEntry(const Entry& entry, FirstLines& seen) {
  checkShortName(entry, seen);
  checkPrintable(entry, "SHORT_NAME");
  checkPrintable(entry, "FULL_NAME");
  checkFlagWords(entry, "FLAG", s_flagName, "flag");
  checkFlagWords(entry, "SFLAG", s_sFlagName, "flag");
  checkEnumeration(entry, "PATTERN_TYPE", s_matchTypeName, "match type");
  checkPattern(entry, checkEnumeration(entry, "COMPARE_TYPE", s_compareTypeName, "compare type"));
  checkBflag(entry);
  reportUnknownAttributes(entry, "CLIENTTYPE", catalogueAttributes());
}

// Reports why the catalogue can't be used, or returns its UPNP_CLIENTTYPES element.
XMLNode catalogueElement(const std::string& path, const ConfigDocument& document,
                         CheckReport& report) {
  using Outcome = ConfigDocument::Outcome;
  switch (document.outcome) {
    case Outcome::Missing:
    case Outcome::Unreadable:
      report.add(path, 0,
                 std::string("cannot be read (") + inputProblem(document.error) + "): " + kIgnored);
      return {};
    case Outcome::Malformed:
      report.add(path, document.errorLine,
                 "not well-formed (" + document.message + "): " + kIgnored);
      return {};
    case Outcome::BeyondLimits:
      report.add(
          path, 0,
          "is not read (" + document.message + "): " + kIgnored + "; " + adviceFor(document.bound));
      return {};
    case Outcome::Parsed:
      break;
  }
  XMLNode top = document.top.findElement("UPNP_CLIENTTYPES");
  if (top.isEmpty()) {
    report.add(path, document.top.getChildNode().getLine(),
               std::string("has no UPNP_CLIENTTYPES element: ") + kIgnored);
  }
  return top;
}

}  // namespace

std::optional<std::unordered_set<std::string>> checkClientTypes(const std::string& path,
                                                                CheckReport& report) {
  const ConfigDocument document = readConfigDocument(path);
  const XMLNode top = catalogueElement(path, document, report);
  if (top.isEmpty()) return std::nullopt;
  FirstLines seen;
  for (XMLNode child = top.getChildNode(); !child.isEmpty(); child = child.nextSibling()) {
    const Entry entry{path, child, child.getLine(), report};
    if (std::string_view(child.getName()) == "CLIENTTYPE") {
      checkEntry(entry, seen);
    } else {
      entry.problem("element " + quoted(child.getName()) + " is not a CLIENTTYPE: it is ignored" +
                    suggestion(child.getName(), {"CLIENTTYPE"}));
    }
  }
  std::unordered_set<std::string> names;
  for (const auto& [name, line] : seen) names.insert(name);
  return names;
}

}  // namespace kyto::clientadm
