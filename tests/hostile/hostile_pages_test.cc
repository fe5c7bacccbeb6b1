// Pages built to hurt, through all three channels against the local server:
// each run ends with the right lines or the no-match text, in bounded time (a
// sanity limit, not a speed target), without a crash. For channels 1 and 2 the
// hostile text is the page; for channel 3 it is the play-data script.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "app/controls.h"
#include "app/shared_state.h"
#include "app/startup.h"
#include "app/workers.h"
#include "extract/channels.h"
#include "sanitized.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using namespace std::chrono_literals;
using testing::kSanitized;
using testing::LocalHttpServer;

const std::string kNoMatch = kNoMatchText;

// A link as each channel's text carries it, and its start without the end.
std::string Link(int channel, const std::string& a, const std::string& b, const std::string& c) {
  switch (channel) {
    case 1:
      return "qvod://" + a + "|" + b + "|" + c + "|";
    case 2:
      return "qvod%3A%2F%2F" + a + "%7C" + b + "%7C" + c + "%7C";
    default:
      return "$qvod://" + a + "|" + b + "|" + c + "|$qvod'";
  }
}

std::string Prefix(int channel) {
  switch (channel) {
    case 1:
      return "qvod://x";
    case 2:
      return "qvod%3A%2F%2Fx";
    default:
      return "$qvod://x";
  }
}

std::string Line(const std::string& a, const std::string& b, const std::string& c) {
  return "qvod://" + a + "|" + b + "|" + c + "|\r\n";
}

// Returns text repeated until it fills bytes.
std::string Repeat(const std::string& text, std::size_t bytes) {
  std::string out;
  out.reserve(bytes + text.size());
  while (out.size() < bytes) {
    out += text;
  }
  return out;
}

class HostilePages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartUp();
    SharedStateRef()->OutputLock = CreateLock();
  }

  void SetUp() override {
    controls_ = std::make_shared<HeadlessControls>();
    SetControls(controls_);
  }

  // Runs channel over text (the page, or channel 3's script) and returns the
  // result box; the run must end within bound.
  std::string Run(int channel, const std::string& text, const char* name,
                  std::chrono::seconds bound = 30s, const std::string& page_tail = {}) {
    LocalHttpServer& server = LocalHttpServer::Get();
    const std::string id = std::to_string(++number_);
    const std::string path = "/hostile" + id + ".asp";
    if (channel == 3) {
      server.Put("/playdata/" + id + ".js?", text, 200, "application/javascript");
      server.Put(path, "<script src=\"/playdata/" + id + ".js?v=1\"></script>" + page_tail);
    } else {
      server.Put(path, text + page_tail);
    }
    controls_->SetText(Control::kAddressBox, server.Url(path));
    controls_->SetText(Control::kResultBox, "");
    const auto started = std::chrono::steady_clock::now();
    RunChannel(channel);
    const auto took = std::chrono::steady_clock::now() - started;
    // Sanitizers slow the code several times over; the bound stays a sanity limit.
    EXPECT_LT(took, kSanitized ? bound * 10 : bound) << name << ", channel " << channel;
    const std::string result = controls_->Text(Control::kResultBox);
    std::printf(
        "%-36s channel %d  %7lld ms  %zu bytes in the box\n", name, channel,
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
        result.size());
    return result;
  }

  std::shared_ptr<HeadlessControls> controls_;
  int number_ = 0;
};

// 50 MB of link starts that never end on one line, then one whole link on the
// next: the starts cannot reach across the line feed, so only that link counts.
TEST_F(HostilePages, FiftyMegabyteLineOfUnterminatedLinkStarts) {
  for (int channel = 1; channel <= 3; ++channel) {
    const std::string starts = Repeat(Prefix(channel), 50u << 20);
    EXPECT_EQ(Run(channel, starts, "50 MB of unterminated starts", 60s), kNoMatch);
    EXPECT_EQ(Run(channel, starts + "\n" + Link(channel, "1", "2", "3"),
                  "50 MB of starts, then a link", 60s),
              Line("1", "2", "3"));
  }
}

// Bytes that are not GBK (stray bytes, lead bytes with a bad second byte)
// around and inside links come through byte for byte.
TEST_F(HostilePages, BytesThatAreNotGbk) {
  const std::string junk =
      Repeat(std::string("\xFF\xFF\x80\x80\x81\x7F\xFE\xFF\xA1 ", 10), 1u << 20);
  const std::string odd_field = "\xFF\xFF\x80\x80";
  const std::string odd_name = "n\x81\x7F.rmvb";
  for (int channel = 1; channel <= 3; ++channel) {
    const std::string text = junk + Link(channel, "1", odd_field, odd_name) + junk +
                             Link(channel, "2", "b", "c.rmvb") + junk;
    EXPECT_EQ(Run(channel, text, "1 MB runs of bytes that are not GBK"),
              Line("1", odd_field, odd_name) + Line("2", "b", "c.rmvb"));
  }
}

// The body ends before its first NUL byte: what follows it is never seen.
TEST_F(HostilePages, NulBytes) {
  for (int channel = 1; channel <= 3; ++channel) {
    const std::string first = Link(channel, "1", "a", "x.rmvb");
    const std::string second = Link(channel, "2", "b", "y.rmvb");
    EXPECT_EQ(Run(channel, first + std::string(1, '\0') + second, "NUL between two links"),
              Line("1", "a", "x.rmvb"));
    EXPECT_EQ(Run(channel, std::string(1, '\0') + first, "NUL first"), kNoMatch);
  }
}

TEST_F(HostilePages, HundredThousandLinks) {
  for (int channel = 1; channel <= 3; ++channel) {
    std::string text;
    std::string lines;
    for (int i = 0; i < 100000; ++i) {
      const std::string n = std::to_string(i);
      text += Link(channel, n, "H" + n, "f" + n + ".rmvb") + "\n";
      lines += Line(n, "H" + n, "f" + n + ".rmvb");
    }
    EXPECT_EQ(Run(channel, text, "100,000 links", 60s), lines);
  }
}

// A lead byte that is the very last byte of the text has no second byte.
TEST_F(HostilePages, LoneLeadByteAtTheVeryEnd) {
  for (int channel = 1; channel <= 3; ++channel) {
    const std::string link = Link(channel, "1", "2", "3");
    EXPECT_EQ(Run(channel, link + "\xB0", "lone lead byte after a link"), Line("1", "2", "3"));
    EXPECT_EQ(Run(channel, link.substr(0, link.size() - 3) + "\xB0", "lone lead byte, unended"),
              kNoMatch);
    EXPECT_EQ(Run(channel, link, "page ending in a lone lead byte", 30s, "\xB0"),
              Line("1", "2", "3"));
  }
}

// Channel 3 builds its script address from the page: an id of 10 MB, one that
// climbs out of the play-data folder, one of bytes that are not GBK, and one
// that tries to add a request header all end with the no-match text, and no
// header reaches the server.
TEST_F(HostilePages, PlayDataIdsThatAreNoIds) {
  const struct {
    const char* name;
    std::string id;
  } cases[] = {
      {"10 MB play-data id", std::string(10u << 20, '9')},
      {"id with CR LF and a header", "1\r\nX-Injected: yes\r\n"},
      {"id that climbs out", "../../etc/passwd"},
      {"id of bytes that are not GBK", "\xFF\x80\x81\x7F"},
  };
  LocalHttpServer& server = LocalHttpServer::Get();
  server.ClearRequests();
  for (const auto& c : cases) {
    const std::string path = "/id" + std::to_string(++number_) + ".asp";
    server.Put(path, "<script src=\"/playdata/" + c.id + ".js?v=1\"></script>");
    controls_->SetText(Control::kAddressBox, server.Url(path));
    controls_->SetText(Control::kResultBox, "");
    const auto started = std::chrono::steady_clock::now();
    RunChannel(3);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(controls_->Text(Control::kResultBox), kNoMatch) << c.name;
    EXPECT_LT(took, kSanitized ? 300s : 30s) << c.name;
    std::printf("%-36s channel 3  %7lld ms\n", c.name,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  }
  for (const auto& request : server.Requests()) {
    for (const auto& header : request.headers) {
      EXPECT_NE(header.first, "X-Injected") << request.path;
    }
  }
}

}  // namespace
}  // namespace qvod
