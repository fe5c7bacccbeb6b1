// The three channels end to end against the local HTTP server, with headless
// controls standing in for the window.
#include "extract/channels.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/controls.h"
#include "app/shared_state.h"
#include "app/startup.h"
#include "app/workers.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using testing::Gbk;
using testing::LocalHttpServer;

const std::string kNoMatch = kNoMatchText;

class ChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartUp();
    SharedStateRef()->OutputLock = CreateLock();
  }

  void SetUp() override {
    controls_ = std::make_shared<HeadlessControls>();
    SetControls(controls_);
  }

  LocalHttpServer& server() { return LocalHttpServer::Get(); }

  // Serves page at a path of its own and runs channel over it; returns the result box.
  std::string RunOn(int channel, const std::string& page, const std::string& before = {}) {
    const std::string path = "/movie" + std::to_string(++page_number_) + ".asp?id=4983";
    server().Put(path, page);
    controls_->SetText(Control::kAddressBox, server().Url(path));
    controls_->SetText(Control::kResultBox, before);
    RunChannel(channel);
    return controls_->Text(Control::kResultBox);
  }

  // Waits until no run is active or queued.
  static bool WaitForRuns() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (RunTicket::Pending() != 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  std::shared_ptr<HeadlessControls> controls_;
  int page_number_ = 0;
};

struct PageCase {
  const char* name;
  std::string page;
  std::string expected;  // the result box after the run
};

class Channel1 : public ChannelTest {};

TEST_F(Channel1, TurnsPagesIntoLinkLines) {
  const PageCase cases[] = {
      {"plain", "<a href=\"qvod://123|ABC|film.rmvb|\">", "qvod://123|ABC|film.rmvb|\r\n"},
      {"partly encoded", "x qvod%3A//123%7CABC%7Cfilm.rmvb%7C y", "qvod://123|ABC|film.rmvb|\r\n"},
      {"fully encoded", "qvod%3A%2F%2F123%7CABC%7Cfilm.rmvb%7C", kNoMatch},
      {"upper-case scheme", "QVOD://123|ABC|film.rmvb|", "qvod://123|ABC|film.rmvb|\r\n"},
      {"two fields", "qvod://123|film.rmvb|\r\n<p>|</p>", kNoMatch},
      {"four fields", "qvod://1|2|3|4|", "qvod://1|2|3|\r\n"},
      {"colon and slashes in a field", "qvod://12|A:B|c//d.rmvb|", "qvod://12|A%3AB|c$d.rmvb|\r\n"},
      {"several in page order",
       "qvod://1|a|x.rmvb|\r\n<br>qvod://2|b|y.rmvb|\r\nQVOD://3|c|z.rmvb|",
       "qvod://1|a|x.rmvb|\r\nqvod://2|b|y.rmvb|\r\nqvod://3|c|z.rmvb|\r\n"},
      {"Chinese name", Gbk("qvod://9|H|影音.rmvb|"), Gbk("qvod://9|H|影音.rmvb|\r\n")},
      {"empty page", "", kNoMatch},
  };
  for (const PageCase& c : cases) {
    EXPECT_EQ(RunOn(1, c.page), c.expected) << c.name;
  }
}

TEST_F(Channel1, NoMatchReplacesEarlierLines) {
  EXPECT_EQ(RunOn(1, "nothing here", "qvod://old|line|a.rmvb|\r\n"), kNoMatch);
}

class Channel2 : public ChannelTest {};

TEST_F(Channel2, TurnsPagesIntoLinkLines) {
  const PageCase cases[] = {
      {"fully encoded", "qvod%3A%2F%2F123%7CABC%7C%E5%BD%B1.rmvb%7C",
       "qvod://123|ABC|%E5%BD%B1.rmvb|\r\n"},
      {"plain slashes", "qvod%3A//123%7CABC%7Cfilm.rmvb%7C", "qvod://123|ABC|film.rmvb|\r\n"},
      {"lower-case escapes", "QVOD%3a%2f%2f1%7c2%7c3%7c", "qvod://1|2|3|\r\n"},
      {"plain link", "qvod://123|ABC|film.rmvb|", kNoMatch},
      {"four fields", "qvod%3A%2F%2F1%7C2%7C3%7C4%7C", "qvod://1|2|3|\r\n"},
      {"two in order", "qvod%3A%2F%2Fa%7Cb%7Cc%7C\nqvod%3A%2F%2Fd%7Ce%7Cf%7C",
       "qvod://a|b|c|\r\nqvod://d|e|f|\r\n"},
  };
  for (const PageCase& c : cases) {
    EXPECT_EQ(RunOn(2, c.page), c.expected) << c.name;
  }
}

// A double-byte character whose second byte is "q" does not start a link.
TEST_F(Channel2, IgnoresSchemeStartingInsideDoubleByteCharacter) {
  const std::string page = std::string("\x81q") + "vod%3A%2F%2F1%7C2%7C3%7C";
  EXPECT_EQ(RunOn(2, page), kNoMatch);
}

class Channel3 : public ChannelTest {
 protected:
  void PutScript(const std::string& id, const std::string& script) {
    server().Put("/playdata/" + id + ".js?", script, 200, "application/javascript");
  }
};

TEST_F(Channel3, FollowsThePageToItsPlayDataScript) {
  const struct {
    const char* name;
    std::string script;
    std::string expected;
  } cases[] = {
      {"%u escapes give GBK", "var a='%24qvod://123%7CABC%7C%u5F71.rmvb%7C%24qvod';",
       Gbk("qvod://123|ABC|影.rmvb|\r\n")},
      {"lower-case escapes", "%24qvod://1%7c2%7c3.rmvb%7c%24qvod'", "qvod://1|2|3.rmvb|\r\n"},
      {"apostrophe and backslash", "$qvod://1|2|it's a\\b.rmvb|$qvod'",
       "qvod://1|2|it's a\\b.rmvb|\r\n"},
      {"two entries", "$qvod://1|a|x.rmvb|$qvod'+'$qvod://2|b|y.rmvb|$qvod'",
       "qvod://1|a|x.rmvb|\r\nqvod://2|b|y.rmvb|\r\n"},
      {"no entry", "var a=1;", kNoMatch},
  };
  int id = 700;
  for (const auto& c : cases) {
    const std::string script_id = std::to_string(++id);
    PutScript(script_id, c.script);
    const std::string page = "<script src=\"/playdata/" + script_id + ".js?v=1\"></script>";
    EXPECT_EQ(RunOn(3, page, "earlier\r\n"), c.expected) << c.name;
  }
}

TEST_F(Channel3, AddressWithoutPathGivesEmptyHost) {
  PutScript("42", "$qvod://1|2|3|$qvod'");
  server().Put("/", "<script src=\"/playdata/42.js?\"></script>");
  // "http://127.0.0.1:PORT" has no "/" after the host: the script address is
  // "http:///playdata/42.js?", which cannot be fetched.
  controls_->SetText(Control::kAddressBox, server().Url(""));
  RunChannel(3);
  EXPECT_EQ(controls_->Text(Control::kResultBox), kNoMatch);
}

class ChannelClicks : public ChannelTest {};

TEST_F(ChannelClicks, EmptyAddressLeavesTheBoxAlone) {
  controls_->SetText(Control::kAddressBox, "");
  controls_->SetText(Control::kResultBox, "kept\r\n");
  OnChannel1Clicked();
  OnChannel2Clicked();
  OnChannel3Clicked();
  EXPECT_EQ(RunTicket::Pending(), 0);
  EXPECT_EQ(controls_->Text(Control::kResultBox), "kept\r\n");
}

TEST_F(ChannelClicks, AddressOfBlanksRunsAndFindsNothing) {
  controls_->SetText(Control::kAddressBox, "   ");
  controls_->SetText(Control::kResultBox, "kept\r\n");
  OnChannel1Clicked();
  ASSERT_TRUE(WaitForRuns());
  EXPECT_EQ(controls_->Text(Control::kResultBox), kNoMatch);
}

// A click during a slow run queues behind it; the lines of the two runs never
// interleave, and the runs keep the order of the clicks.
TEST_F(ChannelClicks, SecondClickQueuesBehindASlowRun) {
  std::string slow_page;
  std::string slow_lines;
  std::string fast_page;
  std::string fast_lines;
  for (int i = 0; i < 300; ++i) {
    slow_page += "qvod://" + std::to_string(i) + "|S|slow.rmvb|\n";
    slow_lines += "qvod://" + std::to_string(i) + "|S|slow.rmvb|\r\n";
    fast_page += "qvod%3A%2F%2F" + std::to_string(i) + "%7CF%7Cfast.rmvb%7C\n";
    fast_lines += "qvod://" + std::to_string(i) + "|F|fast.rmvb|\r\n";
  }
  // One slow page that carries both channels' forms of links.
  server().Put("/slow.asp", slow_page + fast_page, 200, "text/html", 400);
  controls_->SetText(Control::kAddressBox, server().Url("/slow.asp"));
  OnChannel1Clicked();
  OnChannel2Clicked();
  EXPECT_TRUE(controls_->Busy());
  ASSERT_TRUE(WaitForRuns());
  EXPECT_FALSE(controls_->Busy());
  // Channel 2's click cleared the box while channel 1 was still fetching.
  EXPECT_EQ(controls_->Text(Control::kResultBox), slow_lines + fast_lines);
}

}  // namespace
}  // namespace qvod
