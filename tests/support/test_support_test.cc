#include "support/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace qvod::testing {
namespace {

TEST(TempHome, PointsHomeAndDesktopIntoAFolderThatGoesAway) {
  setenv("XDG_DESKTOP_DIR", "/before", 1);
  unsetenv("XDG_CONFIG_HOME");
  const std::string old_home = getenv("HOME") != nullptr ? getenv("HOME") : "";
  std::string home;
  {
    TempHome temp;
    home = temp.home();
    EXPECT_EQ(getenv("HOME"), home);
    EXPECT_EQ(getenv("XDG_DESKTOP_DIR"), temp.desktop());
    EXPECT_TRUE(std::filesystem::is_directory(temp.desktop()));
    EXPECT_TRUE(std::filesystem::is_empty(temp.desktop()));
    ASSERT_TRUE(WriteFile(temp.desktop() + "/a.txt", std::string("x\0\r\n", 4)));
    EXPECT_EQ(ReadFile(temp.desktop() + "/a.txt"), std::string("x\0\r\n", 4));
  }
  EXPECT_FALSE(std::filesystem::exists(home));
  EXPECT_EQ(std::string(getenv("HOME") != nullptr ? getenv("HOME") : ""), old_home);
  EXPECT_STREQ(getenv("XDG_DESKTOP_DIR"), "/before");
  EXPECT_EQ(getenv("XDG_CONFIG_HOME"), nullptr);
  EXPECT_EQ(ReadFile(home + "/none"), "");
  EXPECT_FALSE(WriteFile(home + "/none/x", "y"));
}

TEST(LocalHttpServer, LeavesControlRequestsUnrecorded) {
  LocalHttpServer& server = LocalHttpServer::Get();
  EXPECT_EQ(server.Url("/p"), "http://127.0.0.1:" + std::to_string(server.port()) + "/p");
  server.ClearRequests();
  server.Put("/a?b=1", std::string("\0\xFF", 2));
  EXPECT_TRUE(server.Requests().empty()) << "control requests are recorded";
}

TEST(Gbk, RoundTripsThroughUtf8) {
  EXPECT_EQ(Gbk("种子"), "\xD6\xD6\xD7\xD3");  // 种子
  EXPECT_EQ(Utf8("\xD6\xD6\xD7\xD3"), "种子");
}

}  // namespace
}  // namespace qvod::testing
