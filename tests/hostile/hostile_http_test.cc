// FetchUrl against servers that misbehave, on 127.0.0.1: each fetch ends
// within its limit with an empty text and a recorded reason, the request object
// still serves a good page afterwards, and the process's peak memory stays
// under 200 MB although two of the servers would send gigabytes.
//
// The body cap is the real one (64 MB, counted decoded). The stall limit is cut
// from 30 s to 2 s and the connect limit from 15 s to 2 s so that the slow
// servers end quickly; the time bounds below are sanity limits only.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "app/shared_state.h"
#include "fetch/fetcher.h"
#include "fetch/xml_http.h"
#include "sanitized.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using namespace std::chrono_literals;
using testing::ClosedPort;
using testing::kSanitized;
using testing::LocalHttpServer;

constexpr long kPeakMemoryLimitKb = 200 * 1024;

// Returns the memory that this process's allocations hold now, in KB: what the
// allocator has handed out and not had back (free memory it keeps does not count).
long MemoryInUseKb() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

// Returns the peak resident memory of this process so far, in KB.
long PeakMemoryKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class HostileServer : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpLimits limits;  // the real body cap
    limits.connect_timeout = 2000ms;
    limits.stall_time = 2000ms;
    SetHttpLimits(limits);
    RegisterXmlHttpComponent();
    InitSharedState();
    state_ = SharedStateRef();
  }
  void TearDown() override {
    // A fetch worker lets go of the state just after FetchUrl has its text.
    for (int i = 0; i < 500 && state_.use_count() > 2; ++i) {
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_LE(state_.use_count(), 2) << "a fetch worker did not end";
    state_.reset();
    ReleaseSharedState();
    SetHttpLimits(HttpLimits{});
  }

  std::shared_ptr<SharedState> state_;
};

TEST_F(HostileServer, EveryFetchEndsEmptyWithItsReasonInBoundedTimeAndMemory) {
  LocalHttpServer& server = LocalHttpServer::Get();
  const struct {
    const char* name;
    std::string url;
    FetchFailure failure;
    std::chrono::seconds bound;
  } cases[] = {
      {"silent", server.Url("/silent"), FetchFailure::kTimedOut, 15s},
      {"drip, 1 byte/s", server.Url("/drip"), FetchFailure::kTimedOut, 15s},
      {"endless body", server.Url("/endless"), FetchFailure::kTooLarge, 60s},
      {"gzip bomb, 8 GiB decoded", server.Url("/gzip-bomb"), FetchFailure::kTooLarge, 60s},
      {"redirect loop", server.Url("/redirect-loop"), FetchFailure::kOther, 15s},
      {"redirect to file://", server.Url("/redirect-file"), FetchFailure::kBadUrl, 15s},
      {"reset mid-body", server.Url("/reset"), FetchFailure::kOther, 15s},
      {"broken chunk size", server.Url("/bad-chunked"), FetchFailure::kOther, 15s},
      {"1 MB header line", server.Url("/huge-header"), FetchFailure::kOther, 15s},
      {"refused", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", FetchFailure::kRefused,
       15s},
  };
  server.Put("/good", "<p>good page</p>");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A good page first, so an empty text shows that the failure replaced it.
    ASSERT_EQ(FetchUrl(server.Url("/good")), "<p>good page</p>");
    const auto started = std::chrono::steady_clock::now();
    const std::string text = FetchUrl(c.url);
    const auto took = std::chrono::steady_clock::now() - started;
    const FetchOutcome outcome = LastFetchOutcome();
    EXPECT_EQ(text, "");
    EXPECT_EQ(outcome.failure, c.failure) << outcome.message;
    EXPECT_FALSE(outcome.message.empty());
    EXPECT_LT(took, c.bound);
    std::printf(
        "%-28s %-40s %6lld ms  peak %ld MB in use %ld MB\n", c.name, outcome.message.c_str(),
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
        PeakMemoryKb() / 1024, MemoryInUseKb() / 1024);
  }
  EXPECT_EQ(FetchUrl(server.Url("/good")), "<p>good page</p>");
  EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kNone);
  if (!kSanitized) {
    EXPECT_LT(PeakMemoryKb(), kPeakMemoryLimitKb);
  }
}

// The request object lives as long as the program: a body refused at the cap
// must not keep its storage there.
TEST_F(HostileServer, RefusedBodyGivesItsMemoryBack) {
  if (kSanitized) {
    GTEST_SKIP() << "the sanitizer keeps freed memory in quarantine";
  }
  LocalHttpServer& server = LocalHttpServer::Get();
  server.Put("/small", "small");
  ASSERT_EQ(FetchUrl(server.Url("/small")), "small");
  const long before = MemoryInUseKb();
  for (const char* path : {"/endless", "/gzip-bomb"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(FetchUrl(server.Url(path)), "");
    EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kTooLarge);
    EXPECT_LT(MemoryInUseKb(), before + 4 * 1024);
  }
  EXPECT_EQ(FetchUrl(server.Url("/small")), "small");
}

// A body of exactly the cap arrives whole; one byte more is refused. The
// memory bound holds for the largest page there can be, the caller's copy
// included.
TEST_F(HostileServer, BodyOfExactlyTheCapArrivesWhole) {
  LocalHttpServer& server = LocalHttpServer::Get();
  const std::size_t cap = GetHttpLimits().max_body;
  server.Put("/cap-plus-one", std::string(cap + 1, 'q'));
  server.Put("/cap", std::string(cap, 'p'));
  malloc_trim(0);

  EXPECT_EQ(FetchUrl(server.Url("/cap-plus-one")), "");
  EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kTooLarge);
  const std::string text = FetchUrl(server.Url("/cap"));
  EXPECT_EQ(text.size(), cap);
  EXPECT_EQ(text.find_first_not_of('p'), std::string::npos);
  EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kNone);
  std::printf("page of exactly the cap (%zu MB): peak %ld MB\n", cap >> 20, PeakMemoryKb() / 1024);
  if (!kSanitized) {
    EXPECT_LT(PeakMemoryKb(), kPeakMemoryLimitKb);
  }
}

}  // namespace
}  // namespace qvod
