#include "descramble/descramble.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/services.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using platform::HeadlessServices;
using platform::MessageStyle;
using qvod::testing::Gbk;

class DescrambleTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetServices(services_); }
  void TearDown() override { platform::SetServices(nullptr); }

  std::shared_ptr<HeadlessServices> services_ = std::make_shared<HeadlessServices>();
};

struct DescrambleCase {
  const char* what;
  std::string text;
  std::string password;
  std::string expected;
  bool wrong_password;
};

// Inputs with "-" at the dropped (even) positions; the comment gives the joined
// text that the two passes make of them.
const DescrambleCase kCases[] = {
    {"empty text", "", "", "", false},
    {"one byte", "a", "", "a", false},
    {"two bytes reversed, even with a star", "a*", "", "*a", false},
    {"three bytes reversed, even with a star", "*bx", "", "xb*", false},
    {"four bytes give bytes 1 and 3", "abcd", "", "ac", false},
    {"five bytes give bytes 1, 3 and 5", "abcde", "", "ace", false},
    {"ten pieces: p1 p5 p3 p7 p9", "0123456789", "", "04268", false},
    {"twelve pieces: p1 p7 p3 p9 p5 p11", "abcdefghijkl", "", "agciek", false},
    {"double-byte characters are split into bytes", "\xD6\xD6\xD7\xD3", "", "\xD6\xD7", false},
    // joined "ab*"
    {"star at the end", "a-b-*", "", "ab", false},
    // joined "ab*  "
    {"star and ASCII spaces", "a-*-b- - ", "", "ab", false},
    // joined "ab*" A1A1 " " A1A1
    {"star and full-width spaces", "a-*-\xA1-\xA1-b-\xA1- -\xA1", "", "ab", false},
    // joined "*pw"
    {"star first with the matching password", "*-p-w", "pw", "", false},
    // joined "ab*pw"
    {"matching password", "a-*-b-p-w", "pw", "ab", false},
    {"password compared with case", "a-*-b-p-w", "PW", "", true},
    {"password suffix against the empty password", "a-*-b-p-w", "", "", true},
    // joined "ab*x"
    {"star and another byte", "a-*-b-x", "", "", true},
    // joined "ab**"
    {"two stars: the second is part of the suffix", "a-*-b-*", "", "", true},
    // joined "ab*" " " A1: a lone A1 is no full-width space
    {"star, space and a lone A1", "a-*-b- -\xA1", "", "", true},
    // joined "ab*" TAB: only spaces are trimmed
    {"star and a tab", "a-*-b-\t", "", "", true},
    // joined B0 "*cd": the star is the second byte of a character
    {"star inside a double-byte character", "\xB0-c-*-d", "", "\xB0*cd", false},
};

TEST_F(DescrambleTest, FollowsThePassesAndThePasswordStep) {
  for (const DescrambleCase& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::size_t messages_before = services_->Messages().size();
    EXPECT_EQ(Descramble(c.text, c.password), c.expected);
    const std::vector<HeadlessServices::Message> messages = services_->Messages();
    ASSERT_EQ(messages.size() - messages_before, c.wrong_password ? 1u : 0u);
    if (c.wrong_password) {
      EXPECT_EQ(messages.back().text, Gbk("密码错误，请核对！"));
      EXPECT_EQ(messages.back().caption, Gbk("信息："));
      EXPECT_EQ(messages.back().style, MessageStyle::kOk);
    }
  }
}

TEST_F(DescrambleTest, EachRoundRunsThePasswordStep) {
  // The first round's joined text hides its star in the character B0 "*"...
  const std::string once = Descramble("a?*?b?\xB0?-?-?x");
  EXPECT_EQ(once, "a\xB0*-b-x");
  EXPECT_TRUE(services_->Messages().empty());
  // ...which the second round splits, so that it finds the suffix "x".
  EXPECT_EQ(Descramble(once), "");
  EXPECT_EQ(services_->Messages().size(), 1u);
}

TEST_F(DescrambleTest, StoredTextsGiveThePlainTextsWithoutMessages) {
  EXPECT_EQ(ScrambledCaption.size(), 64u);
  EXPECT_EQ(ScrambledLinkTarget.size(), 137u);
  EXPECT_EQ(ScrambledBanner.size(), 216u);

  EXPECT_EQ(CaptionText(), Gbk("qvodgrab 1.0 版"));
  EXPECT_EQ(LinkTarget(), "https://qvodgrab.example.org/");
  EXPECT_EQ(BannerText(), Gbk("贴入影片页地址，选通道提取 qvod 链接，可保存或转种。"));
  EXPECT_TRUE(services_->Messages().empty());
}

}  // namespace
}  // namespace qvod
