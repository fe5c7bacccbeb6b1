// Times qvodgrab-cli's whole run (fetch over loopback included) against the
// shell pipeline a user would write instead, on the same generated pages served
// by the local HTTP server, and checks both outputs against the page's links:
// the line count of each, and the CLI's bytes against the lines that a plain
// re-scan of the page gives.
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
#include <string_view>
#include <vector>

#include "page_generator.h"
#include "platform/codepage.h"
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

bool LiteralAt(const std::u16string& text, std::size_t pos, std::u16string_view lower) {
  if (text.size() - pos < lower.size()) {
    return false;
  }
  for (std::size_t k = 0; k < lower.size(); ++k) {
    char16_t c = text[pos + k];
    if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c - u'A' + u'a');
    }
    if (c != lower[k]) {
      return false;
    }
  }
  return true;
}

// Returns the result box that channel 2 must leave for page (GBK, CR LF), found
// the plain way on its characters: "//" rewritten as "%2F%2F", then the
// leftmost "qvod%3A%2F%2F" (any letter case) from which three fields, each
// closed by "%7C", complete before the line ends; the next match is sought
// from the end of the last.
std::string ExpectedChannel2Box(const std::string& page) {
  const std::u16string wide = platform::GbkToUtf16(page);
  std::u16string text;
  text.reserve(wide.size() + wide.size() / 8);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == u'/' && i + 1 < wide.size() && wide[i + 1] == u'/') {
      text += u"%2F%2F";
      ++i;
    } else {
      text += wide[i];
    }
  }
  constexpr std::u16string_view kStart = u"qvod%3a%2f%2f";
  constexpr std::u16string_view kBar = u"%7c";
  std::u16string lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t start = from;
    std::size_t end = 0;
    std::u16string fields;
    for (; start < text.size(); ++start) {
      if (!LiteralAt(text, start, kStart)) {
        continue;
      }
      fields.clear();
      std::size_t pos = start + kStart.size();
      int found = 0;
      for (; found < 3; ++found) {
        std::size_t at = pos;
        while (at < text.size() && text[at] != u'\n' && !LiteralAt(text, at, kBar)) {
          ++at;
        }
        if (at >= text.size() || text[at] == u'\n') {
          break;
        }
        fields.append(text, pos, at - pos).append(u"|");
        pos = at + kBar.size();
      }
      if (found == 3) {
        end = pos;
        break;
      }
    }
    if (start >= text.size()) {
      break;
    }
    lines += u"qvod://" + fields + u"\r\n";
    from = end;
  }
  return platform::Utf16ToGbk(lines);
}

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
  const bool exact = mine.output == ExpectedChannel2Box(page.text);
  std::printf(
      "%-14s %5.1f MiB %6zu links | cli %6.3f s (cpu %6.3f s) %6zu lines %s | pipeline %6.3f s "
      "(cpu %6.3f s) %6zu lines %s | pipeline/cli %.2fx\n",
      name, static_cast<double>(page.text.size()) / kMiB, page.links2, mine.best, mine.best_cpu,
      mine.lines,
      mine.lines != page.links2 ? "(WRONG)"
      : exact                   ? "(right, exact)"
                                : "(right count, WRONG bytes)",
      theirs.best, theirs.best_cpu, theirs.lines,
      theirs.lines == page.links2 ? "(right)" : "(wrong)", theirs.best / mine.best);
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
