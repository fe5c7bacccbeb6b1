#include "output/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qvod {
namespace {

namespace fs = std::filesystem;
using qvod::testing::ReadFile;
using qvod::testing::TempHome;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WriteFileWhole, CreatesThenReplacesTheWholeFile) {
  TempHome home;
  const std::string path = home.desktop() + "/list.txt";
  ASSERT_TRUE(WriteFileWhole(path, std::string("long content\r\n", 14) + std::string(1, '\0')));
  EXPECT_EQ(ReadFile(path), std::string("long content\r\n\0", 15));
  ASSERT_TRUE(WriteFileWhole(path, "short"));
  EXPECT_EQ(ReadFile(path), "short");
  ASSERT_TRUE(WriteFileWhole(path, ""));
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(Entries(home.desktop()), std::vector<std::string>{"list.txt"});
}

TEST(WriteFileWhole, FailsWhenTheTargetIsAFolder) {
  TempHome home;
  const std::string path = home.desktop() + "/taken";
  fs::create_directory(path);
  qvod::testing::WriteFile(path + "/inside", "kept");
  EXPECT_FALSE(WriteFileWhole(path, "new"));
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(ReadFile(path + "/inside"), "kept");
  EXPECT_EQ(Entries(home.desktop()), std::vector<std::string>{"taken"});
}

TEST(WriteFileWhole, FailsWhenTheFolderCannotHoldFiles) {
  TempHome home;
  const std::string file = home.desktop() + "/plain";
  qvod::testing::WriteFile(file, "x");
  EXPECT_FALSE(WriteFileWhole(file + "/below.txt", "new"));
  EXPECT_FALSE(WriteFileWhole(home.desktop() + "/missing/below.txt", "new"));
  EXPECT_FALSE(WriteFileWhole("", "new"));
  EXPECT_FALSE(WriteFileWhole(home.desktop() + "/", "new"));
  EXPECT_EQ(ReadFile(file), "x");
  EXPECT_EQ(Entries(home.desktop()), std::vector<std::string>{"plain"});
}

// A write that stops part way (here at the file-size limit, as on a full disk)
// leaves the earlier file untouched and no temporary file behind.
TEST(WriteFileWhole, KeepsTheEarlierFileWhenTheWriteStopsPartWay) {
  TempHome home;
  const std::string path = home.desktop() + "/list.txt";
  ASSERT_TRUE(WriteFileWhole(path, "earlier"));

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 16;
  const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteFileWhole(path, std::string(4096, 'n'));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, saved_handler);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(path), "earlier");
  EXPECT_EQ(Entries(home.desktop()), std::vector<std::string>{"list.txt"});
}

}  // namespace
}  // namespace qvod
