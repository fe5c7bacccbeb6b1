// qvodgrab-cli: options and exit codes in-process, and one run of the real binary.
#include "cli/cli.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qvod {
namespace {

using testing::Gbk;
using testing::LocalHttpServer;
using testing::ReadFile;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun Cli(std::vector<std::string> args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    LocalHttpServer& server = LocalHttpServer::Get();
    server.Put("/one.asp", "qvod://1|A|x.rmvb|\r\nqvod://2|B|" + Gbk("影") + ".rmvb|");
    server.Put("/two.asp", "qvod%3A%2F%2F7%7CC%7Cz.rmvb%7C");
    server.Put("/none.asp", "no links");
    server.Put("/missing.asp", "<h1>gone</h1>", 404);
  }
  static std::string Url(const char* path) { return LocalHttpServer::Get().Url(path); }
};

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--channel"},
      {"--channel", "4", "http://127.0.0.1/"},
      {"--bogus", "http://127.0.0.1/"},
      {"--save"},
  };
  for (const auto& args : cases) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(run.err.empty());
  }
}

TEST_F(CliTest, HelpAndVersion) {
  const CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--channel"), std::string::npos);
  const CliRun version = Cli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("qvodgrab-cli ", 0), 0u);
}

TEST_F(CliTest, PrintsUtf8LinesByDefaultAndResultBoxBytesWithRaw) {
  const CliRun utf8 = Cli({"-c", "1", Url("/one.asp")});
  EXPECT_EQ(utf8.status, 0);
  EXPECT_EQ(utf8.out, "qvod://1|A|x.rmvb|\nqvod://2|B|影.rmvb|\n");
  const CliRun raw = Cli({"--raw", "--channel", "1", Url("/one.asp")});
  EXPECT_EQ(raw.status, 0);
  EXPECT_EQ(raw.out, "qvod://1|A|x.rmvb|\r\nqvod://2|B|" + Gbk("影") + ".rmvb|\r\n");
}

TEST_F(CliTest, AutoKeepsTheFirstChannelThatFindsLinks) {
  const CliRun run = Cli({Url("/two.asp"), Url("/one.asp")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "qvod://7|C|z.rmvb|\nqvod://1|A|x.rmvb|\nqvod://2|B|影.rmvb|\n");
}

TEST_F(CliTest, NoLinksExitsWithOneAndSaysWhy) {
  const struct {
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      {{"-c", "2", Url("/one.asp")}, "no links of channel 2's form"},
      {{Url("/none.asp")}, "no links of any channel's form"},
      {{"-c", "1", Url("/missing.asp")}, "HTTP status 404"},
      {{"-c", "1", "http://127.0.0.1:1/"}, "refused"},
      {{"--raw", "-c", "1", "file:///etc/passwd"}, "fetch failed"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(c.args);
    EXPECT_EQ(run.status, 1) << c.reason;
    EXPECT_EQ(run.out, "") << c.reason;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, SavesTheListAndWritesSeedFiles) {
  testing::TempHome home;
  const std::string list = home.desktop() + "/list.txt";
  const std::string seeds = home.desktop() + "/seeds";
  const CliRun run = Cli({"-c", "1", "--save", list, "--seeds", seeds, Url("/one.asp")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(list), "qvod://1|A|x.rmvb|\r\nqvod://2|B|" + Gbk("影") + ".rmvb|\r\n");
  EXPECT_EQ(ReadFile(seeds + "/x.qsed").size(), 101u + 18u);
  EXPECT_TRUE(std::filesystem::exists(seeds + "/影.qsed"));
}

TEST(CliProcess, RunsAsARealProcess) {
  LocalHttpServer& server = LocalHttpServer::Get();
  server.Put("/process.asp", "qvod://5|P|proc.rmvb|");
  const std::string command =
      std::string(QVOD_CLI_PATH) + " --channel 1 '" + server.Url("/process.asp") + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    out.append(buffer, n);
  }
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(out, "qvod://5|P|proc.rmvb|\n");
}

}  // namespace
}  // namespace qvod
