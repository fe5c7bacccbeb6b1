// SeedFilePath never leads outside the seed folder: a path it gives is the
// folder, "/", and one file name that is neither "." nor "..", holds no "/" and
// no NUL, fits NAME_MAX and ends in ".qsed"; that name is the seed name in
// UTF-8 plus ".qsed", so two different names never share a file. It refuses a
// name only for one of those reasons.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "output/seed_files.h"
#include "platform/codepage.h"

namespace {

const std::string kFolder = "/home/user/Desktop/\xE7\xA7\x8D\xE5\xAD\x90\xE6\x96\x87\xE4\xBB\xB6";

void CheckPath(const std::string& gbk_name, const std::optional<std::string>& path) {
  const std::string file_name = qvod::platform::GbkToUtf8(gbk_name) + ".qsed";
  const bool nameable = file_name.find('/') == std::string::npos &&
                        file_name.find('\0') == std::string::npos && file_name.size() <= NAME_MAX;
  FUZZ_CHECK(path.has_value() == nameable);
  if (!path) {
    return;
  }
  FUZZ_CHECK(*path == kFolder + "/" + file_name);
  const std::filesystem::path p(*path);
  FUZZ_CHECK(p.parent_path() == kFolder);
  FUZZ_CHECK(p.filename() != "." && p.filename() != "..");
  FUZZ_CHECK(p.lexically_normal().parent_path() == std::filesystem::path(kFolder));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvod::fuzz::FuzzInput input(data, size);
  const std::string first = input.Text(255);
  const std::string second = input.Rest();
  const std::optional<std::string> first_path = qvod::SeedFilePath(kFolder, first);
  const std::optional<std::string> second_path = qvod::SeedFilePath(kFolder, second);
  CheckPath(first, first_path);
  CheckPath(second, second_path);
  if (first != second && first_path && second_path) {
    FUZZ_CHECK(*first_path != *second_path);
  }
  return 0;
}
