#include "fetch/xml_http.h"

#include <gtest/gtest.h>

#include <string>

#include "automation/automation.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using automation::ObjectSlot;
using testing::LocalHttpServer;
using testing::RecordedRequest;

class XmlHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpLimits limits;
    limits.connect_timeout = std::chrono::milliseconds(2000);
    limits.stall_time = std::chrono::milliseconds(1000);
    limits.max_body = 1 << 20;
    SetHttpLimits(limits);
    RegisterXmlHttpComponent();
    ASSERT_TRUE(request_.Create("MSXML2.XMLHTTP"));
    server_.ClearRequests();
  }
  void TearDown() override { SetHttpLimits(HttpLimits{}); }

  // Returns the one request the server saw since SetUp.
  RecordedRequest OnlyRequest() const {
    const auto requests = server_.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest{} : requests.front();
  }

  static std::string Header(const RecordedRequest& request, std::string_view name) {
    for (const auto& [key, value] : request.headers) {
      if (automation::MemberIs(key, name)) {
        return value;
      }
    }
    return "<absent>";
  }

  LocalHttpServer& server_ = LocalHttpServer::Get();
  ObjectSlot request_;
};

TEST_F(XmlHttpTest, BothProgIdsMakeTheComponent) {
  ObjectSlot other;
  EXPECT_TRUE(other.Create("Microsoft.XMLHTTP"));
}

TEST_F(XmlHttpTest, ReportsStatusAndKeepsTheBodyOfAnErrorPage) {
  request_.Call("open", {"GET", server_.Url("/status/404"), false});
  request_.Call("send", {""});
  EXPECT_EQ(request_.GetBytes("responseBody"), "error 404");
  EXPECT_EQ(request_.GetNumber("status"), 404);
  EXPECT_EQ(request_.GetText("statusText"), "Not Found");
  EXPECT_EQ(request_.GetNumber("failureKind"), static_cast<int>(HttpFailureKind::kNone));
  EXPECT_EQ(request_.GetText("failureText"), "HTTP status 404 Not Found");
}

TEST_F(XmlHttpTest, SendsABrowserUserAgentAndTheHeadersAsSet) {
  request_.Call("open", {"get", server_.Url("/echo"), false});
  request_.Call("setRequestHeader", {"X-First", "1"});
  request_.Call("setRequestHeader", {"X-Second", "2"});
  request_.Call("setRequestHeader", {"X-Empty", ""});
  request_.Call("send", {"ignored on a GET"});
  const RecordedRequest seen = OnlyRequest();
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.body, "");
  EXPECT_EQ(Header(seen, "User-Agent").rfind("Mozilla/5.0 (X11; Linux x86_64)", 0), 0u);
  EXPECT_EQ(Header(seen, "X-Empty"), "");
  std::vector<std::string> ours;
  for (const auto& [name, value] : seen.headers) {
    if (name.rfind("X-", 0) == 0) {
      ours.push_back(name + "=" + value);
    }
  }
  EXPECT_EQ(ours, (std::vector<std::string>{"X-First=1", "X-Second=2", "X-Empty="}));
}

TEST_F(XmlHttpTest, RefusesHeadersThatWouldSplitTheRequest) {
  request_.Call("open", {"GET", server_.Url("/echo"), false});
  request_.Call("setRequestHeader", {"X-Ok", "1"});
  const automation::Variant bad_args[][2] = {
      {"X-Bad", "1\r\nX-Injected: yes"}, {"X-Bad\r\nX-Injected", "yes"}, {"", "v"}, {"X Bad", "v"}};
  for (const auto& args : bad_args) {
    automation::Variant ignored;
    EXPECT_FALSE(
        request_.Get()->Invoke("setRequestHeader", automation::CallKind::kMethod, args, ignored));
  }
  request_.Call("send");
  EXPECT_EQ(Header(OnlyRequest(), "X-Injected"), "<absent>");
}

TEST_F(XmlHttpTest, SendsNonAsciiAddressesPercentEncodedAsUtf8) {
  const std::string path = "/" + testing::Gbk("中文") + "?q=a b";
  request_.Call("open", {"GET", server_.Url(path), false});
  request_.Call("send");
  EXPECT_EQ(OnlyRequest().path, "/%E4%B8%AD%E6%96%87?q=a%20b");
}

TEST_F(XmlHttpTest, CorrectsAContentLengthThatDisagreesWithTheBody) {
  request_.Call("open", {"POST", server_.Url("/echo"), false});
  request_.Call("setRequestHeader", {"Content-Length", "3"});
  request_.Call("send", {"seven!!"});
  const RecordedRequest seen = OnlyRequest();
  EXPECT_EQ(Header(seen, "Content-Length"), "7");
  EXPECT_EQ(seen.body, "seven!!");
}

TEST_F(XmlHttpTest, APostRedirectedToAGetSendsNoBodyAndDoesNotHang) {
  server_.Put("/after-post", "landed");
  request_.Call("open", {"POST", server_.Url("/redirect?to=/after-post"), false});
  request_.Call("setRequestHeader", {"Content-Type", "application/x-www-form-urlencoded"});
  request_.Call("setRequestHeader", {"Content-Length", "7"});
  request_.Call("send", {"abcdefg"});
  EXPECT_EQ(request_.GetBytes("responseBody"), "landed");
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(Header(requests[1], "Content-Length"), "<absent>");
}

TEST_F(XmlHttpTest, TakingTheBodyHandsItOverOnce) {
  server_.Put("/page", "the whole page");
  request_.Call("open", {"GET", server_.Url("/page"), false});
  request_.Call("send");
  EXPECT_EQ(request_.GetBytes("responseBody"), "the whole page");
  EXPECT_EQ(request_.GetBytes("takeResponseBody"), "the whole page");
  EXPECT_EQ(request_.GetBytes("responseBody"), "");
  EXPECT_EQ(request_.GetNumber("status"), 200);
}

TEST_F(XmlHttpTest, CallsOutOfOrderFailQuietly) {
  EXPECT_EQ(request_.GetBytes("responseBody"), "");
  EXPECT_EQ(request_.GetBytes("takeResponseBody"), "");
  EXPECT_EQ(request_.GetNumber("status"), 0);
  automation::Variant ignored;
  const automation::Variant body[] = {"x"};
  EXPECT_FALSE(request_.Get()->Invoke("send", automation::CallKind::kMethod, body, ignored));
  const automation::Variant header[] = {"X-A", "1"};
  EXPECT_FALSE(
      request_.Get()->Invoke("setRequestHeader", automation::CallKind::kMethod, header, ignored));
  const automation::Variant bad_method[] = {"GE T", server_.Url("/echo"), false};
  EXPECT_FALSE(request_.Get()->Invoke("open", automation::CallKind::kMethod, bad_method, ignored));
  EXPECT_FALSE(request_.Put("status", 200));
  EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
}  // namespace qvod
