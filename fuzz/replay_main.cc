// A stand-in for libFuzzer's driver in builds without it: runs the target once
// on every input named on the command line (files, or every file of a folder,
// in name order; names that begin with "." are skipped). A failed property
// aborts, so the replay fails as the fuzz run would.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of its own, so that a read past the end of the input is caught.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) {
    LLVMFuzzerInitialize(&argc, &argv);
  }
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code error;
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(arg);
    }
    for (const auto& file : files) {
      if (!RunFile(file)) {
        return 1;
      }
      ++runs;
    }
  }
  std::printf("%d inputs replayed\n", runs);
  return 0;
}
