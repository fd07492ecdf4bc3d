#include "command_line.h"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "attributes.h"
#include "custom_tree.h"
#include "tree_file.h"

namespace kyto::treeshaper {

namespace {

bool isOneOf(std::string_view arg, std::string_view longForm, std::string_view shortForm) {
  return arg == longForm || arg == shortForm;
}

bool isTreeType(std::string_view type) {
  return type == "Music" || type == "Video" || type == "Photo";
}

int statusOf(bool done) {
  return done ? 0 : 1;
}

int usageFailure() {
  printUsage();
  return 1;
}

// The arguments after "--add TYPE": ids up to the output option, then FILE.
int runAdd(const std::string& type, std::span<const char* const> rest) {
  if (rest.empty()) return usageFailure();

  AttributeIdList ids{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const std::string_view arg = rest[i];
    if (isOneOf(arg, "--output", "-o")) {
      if (i + 1 == rest.size()) return usageFailure();
      const std::string_view outputName = rest[i + 1];
      if (outputName.size() > kMaxOutputNameLength) {
        std::puts("output file name can not more than 128 character");
        return usageFailure();
      }
      return statusOf(generateCustomTree(ids, type, count, std::string(outputName)));
    }
    if (arg.starts_with('-')) {
      std::puts("it should have --output after --add");
      return usageFailure();
    }
    if (count == ids.size()) {
      complain("attribute id can not more than 32");
      return usageFailure();
    }
    ids[count++] = std::string(arg.substr(0, kMaxAttributeIdLength));
  }
  return usageFailure();
}

}  // namespace

void printUsage() {
  std::puts("Usage: treeshaper [OPTION]...");
  std::puts("Generate custom xml for user to determine what they want.\n");
  std::puts("Mandatory arguments to long options are mandatory for short options too.");
  std::puts(
      "-l, --list TYPE\n\tlist the attribute of the TYPE which should be \"Music\", \"Video\" or "
      "\"Photo\"");
  std::puts("-a, --add TYPE [attribute id] -o, --output FILE");
  std::puts("\tadd(or remove) the attribute for a TYPE and save to a custom FILE");
  std::puts(
      "-r, --read FILE TYPE\n\tread the FILE and show the atribute of TYPE which FILE is contain.");
  std::puts("-h, --help\n\tshow this help");
}

int parseCommandLine(int argc, const char* const* argv) {
  const std::span<const char* const> args(argv, argc > 0 ? static_cast<std::size_t>(argc) : 0);
  if (args.size() < 2) return usageFailure();
  const std::string_view command = args[1];

  if (isOneOf(command, "--help", "-h")) {
    printUsage();
    return 0;
  }
  if (isOneOf(command, "--list", "-l")) {
    if (args.size() < 3) return usageFailure();
    return statusOf(listTreeAttributes(args[2]));
  }
  if (isOneOf(command, "--add", "-a")) {
    if (args.size() < 3) return 1;  // refused without a word, as it always was
    if (!isTreeType(args[2])) return usageFailure();
    return runAdd(args[2], args.subspan(3));
  }
  if (isOneOf(command, "--read", "-r")) {
    if (args.size() < 4) return usageFailure();
    return statusOf(showTreeAttributes(args[2], args[3]));
  }
  return usageFailure();
}

}  // namespace kyto::treeshaper
