#include "fuzz_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace kyto::fuzz {

namespace {

// A directory of the run's own, removed when the run ends (libFuzzer ends with exit()).
struct RunDirectory {
  std::string path;
  ~RunDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& fuzzRoot() {
  static const RunDirectory root = [] {
    std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string dir = base + "/kyto-fuzz-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) abort();
    setenv("KYTO_ROOT", dir.c_str(), 1);
    return RunDirectory{dir};
  }();
  return root.path;
}

void writeRootFile(const std::string& appliancePath, const std::uint8_t* data, std::size_t size) {
  std::filesystem::path path = fuzzRoot() + appliancePath;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

ArgumentVector::ArgumentVector(const char* program, const std::uint8_t* data, std::size_t size) {
  words_.emplace_back(program);
  std::string word;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words_.push_back(word);
      word.clear();
    } else {
      word.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0) words_.push_back(word);
  for (auto& w : words_) pointers_.push_back(w.data());
  pointers_.push_back(nullptr);
}

void silenceStandardOutput() {
  int devnull = open("/dev/null", O_WRONLY);
  if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
}

}  // namespace kyto::fuzz
