// Throughput and peak memory of the text helpers and of the matcher on
// generated GBK pages, for channel 1's rewrite and channel 2's whole job.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "extract/pattern_matcher.h"
#include "extract/regexp.h"
#include "extract/text_helpers.h"
#include "page_generator.h"

namespace qvod::bench {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr char kChannel2Pattern[] = "qvod%3A%2F%2F(.*?)%7C(.*?)%7C(.*?)%7C";

double PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void ReportMemory(benchmark::State& state, const std::string& page) {
  state.counters["page_MiB"] = static_cast<double>(page.size()) / kMiB;
  state.counters["peak_rss_MiB"] = PeakRssMiB();
}

// Channel 2's core job: rewrite, search, read every group of every match and
// build the link lines. Returns the number of lines.
std::size_t Channel2Job(std::string page, PatternMatcher& matcher, std::string& lines) {
  page = ReplacePairs(std::move(page), "//", "%2F%2F");
  matcher.Search(kChannel2Pattern, page);
  const std::int32_t count = matcher.MatchCount();
  lines.clear();
  for (std::int32_t i = 1; i <= count; ++i) {
    std::string line = "qvod://";
    line += matcher.SubMatchText(i, 1);
    line += '|';
    line += matcher.SubMatchText(i, 2);
    line += '|';
    line += matcher.SubMatchText(i, 3);
    line += "|\r\n";
    lines += line;
  }
  return static_cast<std::size_t>(count);
}

void RunChannel2(benchmark::State& state, const GeneratedPage& page) {
  RegisterRegExpComponent();
  PatternMatcher matcher;
  std::string lines;
  for (auto _ : state) {
    state.PauseTiming();
    std::string copy = page.text;  // the channel owns its page and rewrites it in place
    state.ResumeTiming();
    const std::size_t found = Channel2Job(std::move(copy), matcher, lines);
    if (found != page.links2) {
      state.SkipWithError("wrong number of links");
      break;
    }
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.text.size()));
  state.counters["links"] = static_cast<double>(page.links2);
  ReportMemory(state, page.text);
}

void BM_ReplacePairsChannel1(benchmark::State& state) {
  const GeneratedPage page = MakePage(static_cast<std::size_t>(state.range(0)) * kMiB);
  for (auto _ : state) {
    state.PauseTiming();
    std::string copy = page.text;
    state.ResumeTiming();
    std::string out = ReplacePairs(std::move(copy), "//", "$", ":", "%3A", "|", "%7C");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.text.size()));
  ReportMemory(state, page.text);
}
BENCHMARK(BM_ReplacePairsChannel1)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_Channel2Job(benchmark::State& state) {
  RunChannel2(state, MakePage(static_cast<std::size_t>(state.range(0)) * kMiB));
}
BENCHMARK(BM_Channel2Job)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_Channel2JobDenseLinks(benchmark::State& state) {
  // 100,000 links in 20 MB.
  RunChannel2(state, MakePage(20 * kMiB, 20 * kMiB / 100000, LinkForms::kChannel2));
}
BENCHMARK(BM_Channel2JobDenseLinks)->Unit(benchmark::kMillisecond);

void BM_Channel2JobHostileLongLine(benchmark::State& state) {
  RunChannel2(state, MakeHostileLongLine(20 * kMiB, MakePage(2 * kMiB)));
}
BENCHMARK(BM_Channel2JobHostileLongLine)->Unit(benchmark::kMillisecond);

void BM_Channel2JobHostileDoubleByte(benchmark::State& state) {
  RunChannel2(state, MakeDoubleByteText(20 * kMiB, kMiB));
}
BENCHMARK(BM_Channel2JobHostileDoubleByte)->Unit(benchmark::kMillisecond);

// Last, so that its peak memory is the process's peak.
void BM_Channel2JobLargePage(benchmark::State& state) { RunChannel2(state, MakePage(100 * kMiB)); }
BENCHMARK(BM_Channel2JobLargePage)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace qvod::bench

BENCHMARK_MAIN();
