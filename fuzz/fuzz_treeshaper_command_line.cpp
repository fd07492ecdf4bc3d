// treeshaper's command line on argument vectors cut from the input. The private root holds no
// template, so no command gets as far as writing a file.
#include <cstdint>

#include "command_line.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kyto::fuzz::fuzzRoot();
  kyto::fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kyto::fuzz::ArgumentVector args("treeshaper", data, size);
  kyto::treeshaper::parseCommandLine(args.argc(), args.argv());
  return 0;
}
