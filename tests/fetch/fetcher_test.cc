#include "fetch/fetcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/shared_state.h"
#include "fetch/xml_http.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using testing::ClosedPort;
using testing::LocalHttpServer;
using testing::RecordedRequest;
using namespace std::chrono_literals;

// The headers that the fetcher sets, in the order the server received them.
std::vector<std::string> FetcherHeaders(const RecordedRequest& request) {
  std::vector<std::string> out;
  for (const auto& [name, value] : request.headers) {
    if (name == "Content-Type" || name == "Content-Length" || name == "Accept-Language") {
      out.push_back(name + ": " + value);
    }
  }
  return out;
}

class FetcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpLimits limits;
    limits.connect_timeout = 2000ms;
    limits.stall_time = 1000ms;
    limits.max_body = 1 << 20;
    SetHttpLimits(limits);
    RegisterXmlHttpComponent();
    InitSharedState();
    state_ = SharedStateRef();
    server_.ClearRequests();
  }
  void TearDown() override {
    WaitForLateWorkers();
    state_.reset();
    ReleaseSharedState();
    SetHttpLimits(HttpLimits{});
  }

  // Waits until no fetch worker holds the shared state any more.
  void WaitForLateWorkers() {
    for (int i = 0; i < 1000 && state_.use_count() > 2; ++i) {
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_LE(state_.use_count(), 2) << "a fetch worker did not end";
  }

  std::string ResponseText() {
    std::lock_guard lock(state_->FetchMutex);
    return state_->ResponseText;
  }

  RecordedRequest OnlyRequest() const {
    const auto requests = server_.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest{} : requests.front();
  }

  LocalHttpServer& server_ = LocalHttpServer::Get();
  std::shared_ptr<SharedState> state_;
};

TEST_F(FetcherTest, SendsTheHeadersOfAGetAndOfAPostInOrder) {
  struct Case {
    const char* method;
    std::string body;
    const char* sent_method;
    std::vector<std::string> headers;
  };
  const Case cases[] = {
      {"", "", "GET", {"Content-Type: text/XML", "Accept-Language: zh-cn"}},
      {"POST",
       "",
       "POST",
       {"Content-Type: application/x-www-form-urlencoded", "Content-Length: 0",
        "Accept-Language: zh-cn"}},
      {"POST",
       "a=1&b=2",
       "POST",
       {"Content-Type: application/x-www-form-urlencoded", "Content-Length: 7",
        "Accept-Language: zh-cn"}},
      // The length counts the bytes of the GBK text.
      {"POST",
       testing::Gbk("名=片"),
       "POST",
       {"Content-Type: application/x-www-form-urlencoded", "Content-Length: 5",
        "Accept-Language: zh-cn"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " with a body of " + std::to_string(c.body.size()));
    server_.ClearRequests();
    FetchUrl(server_.Url("/echo"), c.method, c.body);
    const RecordedRequest seen = OnlyRequest();
    EXPECT_EQ(seen.method, c.sent_method);
    EXPECT_EQ(FetcherHeaders(seen), c.headers);
    EXPECT_EQ(seen.body, std::string(c.sent_method) == "POST" ? c.body : "");
  }
}

TEST_F(FetcherTest, OnlyPostInSomeLetterCaseMakesAPost) {
  struct Case {
    const char* method;
    const char* sent;
  };
  const Case cases[] = {
      {"post", "POST"}, {"Post", "POST"}, {"pOsT", "POST"}, {"PUT", "GET"},
      {"HEAD", "GET"},  {"POST ", "GET"}, {" POST", "GET"}, {"\xB0POST", "GET"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    server_.ClearRequests();
    FetchUrl(server_.Url("/echo"), c.method, "x=1");
    const RecordedRequest seen = OnlyRequest();
    EXPECT_EQ(seen.method, c.sent);
    if (std::string(c.sent) == "GET") {
      EXPECT_EQ(FetcherHeaders(seen),
                (std::vector<std::string>{"Content-Type: text/XML", "Accept-Language: zh-cn"}));
    }
  }
}

TEST_F(FetcherTest, ReturnsTheBodyAsRawBytes) {
  struct Case {
    const char* name;
    std::string path;
    std::string body;  // put at path unless empty and path is built in
    int status;
    std::string expected;
  };
  const std::string utf8_page = "<title>\xE7\x94\xB5\xE5\xBD\xB1</title>";
  const std::string gbk_page = "<a>" + testing::Gbk("电影") + "\xFF</a>";
  const Case cases[] = {
      {"plain page", "/plain", "<html>qvod://x</html>", 200, "<html>qvod://x</html>"},
      {"tenth byte NUL", "/nul", std::string("123456789\0abc", 13), 200, "123456789"},
      {"first byte NUL", "/nul0", std::string("\0abc", 4), 200, ""},
      {"empty body", "/empty", "", 200, ""},
      {"utf-8 page, no conversion", "/utf8", utf8_page, 200, utf8_page},
      {"gbk page", "/gbk", gbk_page, 200, gbk_page},
      {"page with a query", "/q?a=1&b=2", "query page", 200, "query page"},
      {"404 page", "/status/404", "", 404, "error 404"},
      {"500 page", "/missing-page", "<h1>oops</h1>", 500, "<h1>oops</h1>"},
      {"gzip", "/gzip?body=packed%20page", "", 200, "packed page"},
      {"deflate", "/deflate?body=deflated", "", 200, "deflated"},
      {"redirect", "/redirect?to=/plain", "", 200, "<html>qvod://x</html>"},
  };
  for (const Case& c : cases) {
    if (!c.body.empty() || c.path == "/empty") {
      server_.Put(c.path, c.body, c.status, "text/html; charset=utf-8");
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FetchUrl(server_.Url(c.path)), c.expected);
    EXPECT_EQ(ResponseText(), c.expected);
    const FetchOutcome outcome = LastFetchOutcome();
    EXPECT_EQ(outcome.failure, FetchFailure::kNone) << outcome.message;
    EXPECT_EQ(outcome.http_status, c.status);
  }
}

TEST_F(FetcherTest, AFailedTransferGivesAnEmptyTextAndItsReason) {
  struct Case {
    const char* name;
    std::string url;
    FetchFailure failure;
  };
  const Case cases[] = {
      {"refused", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", FetchFailure::kRefused},
      {"silent server", server_.Url("/silent"), FetchFailure::kTimedOut},
      {"dripping server", server_.Url("/drip"), FetchFailure::kTimedOut},
      {"endless body", server_.Url("/endless"), FetchFailure::kTooLarge},
      {"gzip bomb", server_.Url("/gzip-bomb"), FetchFailure::kTooLarge},
      {"redirect to a file", server_.Url("/redirect-file"), FetchFailure::kBadUrl},
      {"ftp address", "ftp://127.0.0.1/x", FetchFailure::kBadUrl},
      {"malformed address", "http://[127.0.0.1/", FetchFailure::kBadUrl},
      {"redirect loop", server_.Url("/redirect-loop"), FetchFailure::kOther},
      {"connection reset", server_.Url("/reset"), FetchFailure::kOther},
      {"broken chunks", server_.Url("/bad-chunked"), FetchFailure::kOther},
      {"huge header", server_.Url("/huge-header"), FetchFailure::kOther},
      {"empty address", "", FetchFailure::kBadUrl},
  };
  server_.Put("/before", "an earlier page");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(FetchUrl(server_.Url("/before")), "an earlier page");
    EXPECT_EQ(FetchUrl(c.url), "");
    EXPECT_EQ(ResponseText(), "");
    const FetchOutcome outcome = LastFetchOutcome();
    EXPECT_EQ(outcome.failure, c.failure) << outcome.message;
    EXPECT_FALSE(outcome.message.empty());
    printf("%s => %s\n", c.name, outcome.message.c_str());
  }
}

TEST_F(FetcherTest, LaterFetchesReuseTheFirstRequestObject) {
  server_.Put("/one", "first");
  server_.Put("/two", "second");
  EXPECT_TRUE(state_->HttpRequester.IsEmpty());
  EXPECT_EQ(FetchUrl(server_.Url("/one")), "first");
  const automation::ObjectRef made = state_->HttpRequester.Get();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(FetchUrl("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"), "");
  EXPECT_EQ(FetchUrl(server_.Url("/two")), "second");
  EXPECT_EQ(state_->HttpRequester.Get(), made);
}

TEST_F(FetcherTest, FallsBackToTheSecondProgIdAndGivesNothingWithoutEither) {
  server_.Put("/page", "page");
  automation::UnregisterProgId("MSXML2.XMLHTTP");
  EXPECT_EQ(FetchUrl(server_.Url("/page")), "page");
  EXPECT_FALSE(state_->HttpRequester.IsEmpty());

  state_->HttpRequester.Clear();
  automation::UnregisterProgId("Microsoft.XMLHTTP");
  server_.ClearRequests();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(FetchUrl(server_.Url("/page")), "page") << "ResponseText keeps its value";
    EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kNoComponent);
    EXPECT_TRUE(state_->HttpRequester.IsEmpty());
  }
  EXPECT_TRUE(server_.Requests().empty());

  InitSharedState();
  state_ = SharedStateRef();
  EXPECT_EQ(FetchUrl(server_.Url("/page")), "");
}

TEST_F(FetcherTest, ZeroOrNoTimeLimitWaitsForTheWorker) {
  server_.Put("/slow", "slow page", 200, "text/html", 300);
  EXPECT_EQ(FetchUrl(server_.Url("/slow"), "", "", 0), "slow page");
  EXPECT_EQ(FetchUrl(server_.Url("/slow")), "slow page");
  EXPECT_EQ(FetchUrl(server_.Url("/slow"), "", "", 5000), "slow page");
}

TEST_F(FetcherTest, ALateWorkerReplacesResponseTextOnlyWhenNoLaterCallBegan) {
  server_.Put("/first", "first");
  server_.Put("/slow", "slow page", 200, "text/html", 800);
  server_.Put("/fast", "fast page");

  // Nothing began after the call that ran out: the worker replaces ResponseText when it ends.
  ASSERT_EQ(FetchUrl(server_.Url("/first")), "first");
  EXPECT_EQ(FetchUrl(server_.Url("/slow"), "", "", 50), "first");
  EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kTimedOut);
  WaitForLateWorkers();
  EXPECT_EQ(ResponseText(), "slow page");
  EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kNone);

  // A later call began: its result stays.
  ASSERT_EQ(FetchUrl(server_.Url("/first")), "first");
  EXPECT_EQ(FetchUrl(server_.Url("/slow"), "", "", 50), "first");
  EXPECT_EQ(FetchUrl(server_.Url("/fast")), "fast page");
  WaitForLateWorkers();
  EXPECT_EQ(ResponseText(), "fast page");
  EXPECT_EQ(FetchUrl(server_.Url("/first"), "", "", 5000), "first");
}

TEST_F(FetcherTest, OverlappingCallsEachGetTheirOwnPage) {
  constexpr int kThreads = 4;
  for (int i = 0; i < kThreads; ++i) {
    server_.Put("/page" + std::to_string(i), "page " + std::to_string(i), 200, "text/html", 50);
  }
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 3 && results[i].empty(); ++round) {
        const std::string text = FetchUrl(server_.Url("/page" + std::to_string(i)));
        if (text != "page " + std::to_string(i)) {
          results[i] = "got: " + text;
        }
      }
    });
  }
  for (std::thread& t : threads) {
    t.join();
  }
  for (const std::string& result : results) {
    EXPECT_EQ(result, "");
  }
}

TEST(FetcherWithoutState, ReturnsAnEmptyTextAtOnce) {
  ReleaseSharedState();
  EXPECT_EQ(FetchUrl(LocalHttpServer::Get().Url("/echo")), "");
  EXPECT_EQ(LastFetchOutcome().failure, FetchFailure::kNone);
}

}  // namespace
}  // namespace qvod
