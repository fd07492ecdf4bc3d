// The check command's readers on arbitrary files, read both as the client type catalogue and as
// the client access list: every problem line is "PATH:LINE: TEXT" with no control character, and
// no pattern, however large, makes the check take long or much memory.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "check/config_check.h"
#include "common/appliance_paths.h"
#include "fuzz_support.h"

namespace {

bool isProblemLine(std::string_view line, std::string_view path) {
  if (!line.starts_with(path) || line.size() <= path.size() || line[path.size()] != ':')
    return false;
  line.remove_prefix(path.size() + 1);
  const std::size_t digits = line.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos || !line.substr(digits).starts_with(": "))
    return false;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kyto::clientadm;
  kyto::fuzz::writeRootFile(kyto::paths::kClientTypesXml, data, size);
  kyto::fuzz::writeRootFile(kyto::paths::kClientsXml, data, size);
  const std::string catalogue = kyto::fuzz::fuzzRoot() + kyto::paths::kClientTypesXml;
  const std::string list = kyto::fuzz::fuzzRoot() + kyto::paths::kClientsXml;

  CheckReport catalogueReport;
  const auto names = checkClientTypes(catalogue, catalogueReport);
  CheckReport listReport;
  checkClientList(list, kyto::clientadm::readConfigDocument(list), names ? &*names : nullptr,
                  listReport);
  for (const std::string& line : catalogueReport.lines()) {
    if (!isProblemLine(line, catalogue)) abort();
  }
  for (const std::string& line : listReport.lines()) {
    if (!isProblemLine(line, list)) abort();
  }
  return 0;
}
