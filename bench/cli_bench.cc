// Times qvodgrab-cli's whole run (fetch over loopback included) against the
// shell pipeline a user would write instead, on the same generated pages served
// by the local HTTP server, and checks both outputs against the page's links.
//
// Usage: qvod_cli_bench [PATH-TO-qvodgrab-cli]
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "page_generator.h"
#include "support/test_support.h"

namespace qvod::bench {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr int kRounds = 5;

// The pipeline: channel 2's rewrite and pattern with sed and grep, working on bytes.
std::string PipelineCommand(const std::string& url) {
  return "curl -s '" + url +
         "' | LC_ALL=C sed 's#//#%2F%2F#g'"
         " | LC_ALL=C grep -aoiP 'qvod%3A%2F%2F(.*?)%7C(.*?)%7C(.*?)%7C'"
         " | LC_ALL=C sed 's#^[qQ][vV][oO][dD]%3[aA]%2[fF]%2[fF]#qvod://#; s#%7[cC]#|#g; "
         "s#$#\\r#'";
}

std::string CliCommand(const std::string& cli, const std::string& url) {
  return "'" + cli + "' --raw -c 2 '" + url + "'";
}

struct Timing {
  double wall = 0;  // seconds
  double cpu = 0;   // user + sys seconds of every process of the command
};

double CpuSeconds(const rusage& usage) {
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs command with its stdout into out_file; returns the time it took. The CPU
// time is less disturbed than the wall time by other work on the machine.
Timing TimeCommand(const std::string& command, const std::string& out_file) {
  rusage before{};
  getrusage(RUSAGE_CHILDREN, &before);
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system((command + " > '" + out_file + "'").c_str());
  const auto end = std::chrono::steady_clock::now();
  rusage after{};
  getrusage(RUSAGE_CHILDREN, &after);
  if (status == -1 || !WIFEXITED(status)) {
    std::cerr << "command failed: " << command << "\n";
  }
  return {std::chrono::duration<double>(end - start).count(),
          CpuSeconds(after) - CpuSeconds(before)};
}

// The link lines channel 2 must give for page, computed by a plain scan of the
// generator's own link form.
std::size_t CountLines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct Result {
  double best = 1e9;      // wall seconds
  double best_cpu = 1e9;  // user + sys seconds
  std::size_t lines = 0;
  std::string output;
};

Result Measure(const std::string& command, const std::string& out_file) {
  Result result;
  for (int round = 0; round < kRounds; ++round) {
    const Timing timing = TimeCommand(command, out_file);
    result.best = std::min(result.best, timing.wall);
    result.best_cpu = std::min(result.best_cpu, timing.cpu);
  }
  result.output = testing::ReadFile(out_file);
  result.lines = CountLines(result.output);
  return result;
}

void Compare(const char* name, const GeneratedPage& page, const std::string& cli) {
  testing::LocalHttpServer& server = testing::LocalHttpServer::Get();
  const std::string path = std::string("/bench-") + name + ".asp";
  server.Put(path, page.text);
  const std::string url = server.Url(path);
  const std::string dir = std::filesystem::temp_directory_path().string();
  const Result mine = Measure(CliCommand(cli, url), dir + "/qvod-bench-cli.out");
  const Result theirs = Measure(PipelineCommand(url), dir + "/qvod-bench-pipe.out");
  std::printf(
      "%-14s %5.1f MiB %6zu links | cli %6.3f s (cpu %6.3f s) %6zu lines %s | pipeline %6.3f s "
      "(cpu %6.3f s) %6zu lines %s | pipeline/cli %.2fx\n",
      name, static_cast<double>(page.text.size()) / kMiB, page.links2, mine.best, mine.best_cpu,
      mine.lines, mine.lines == page.links2 ? "(right)" : "(WRONG)", theirs.best, theirs.best_cpu,
      theirs.lines, theirs.lines == page.links2 ? "(right)" : "(wrong)", theirs.best / mine.best);
}

}  // namespace
}  // namespace qvod::bench

int main(int argc, char** argv) {
  using namespace qvod::bench;
  const std::string cli = argc > 1 ? argv[1] : QVOD_CLI_PATH;
  std::printf(
      "best of %d runs each (wall; user+sys of all processes), fetch over loopback included\n",
      kRounds);
  Compare("10MB-page", MakePage(10 * kMiB), cli);
  Compare("100000-links", MakePage(20 * kMiB, 20 * kMiB / 100000, LinkForms::kChannel2), cli);
  return 0;
}
