// Shared pieces of the fuzz targets: a private root for the programs' files, and argument
// vectors cut from the fuzz input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kyto::fuzz {

// A private KYTO_ROOT for this process, made on first use (on tmpfs when there is one).
const std::string& fuzzRoot();

// Writes the input to a file below fuzzRoot(), creating its directories.
void writeRootFile(const std::string& appliancePath, const std::uint8_t* data, std::size_t size);

// An argument vector: the program name, then the input split at NUL bytes.
class ArgumentVector {
 public:
  ArgumentVector(const char* program, const std::uint8_t* data, std::size_t size);
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

// Sends standard output to /dev/null: the programs print what they parse.
void silenceStandardOutput();

}  // namespace kyto::fuzz
