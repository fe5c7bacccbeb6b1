// The component's fast paths against RE2's own submatch extraction: on
// generated pages, hostile pages and random texts, every match, its
// "FirstIndex" and every group must come out the same.
#include <gtest/gtest.h>
#include <re2/re2.h>

#include <random>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "extract/pattern_matcher.h"
#include "extract/regexp.h"
#include "extract/text_helpers.h"
#include "page_generator.h"
#include "platform/codepage.h"
#include "test_support.h"

namespace qvod {
namespace {

using qvod::testing::Gbk;

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

constexpr char kChannel1Pattern[] = "qvod%3A\\$(.*?)%7C(.*?)%7C(.*?)%7C";
constexpr char kChannel2Pattern[] = "qvod%3A%2F%2F(.*?)%7C(.*?)%7C(.*?)%7C";
constexpr char kChannel3Pattern[] = "\\$qvod://(.*?)\\$qvod'";

struct FoundMatch {
  std::string value;
  double first_index = 0;
  std::vector<std::string> groups;

  bool operator==(const FoundMatch&) const = default;
};

void PrintTo(const FoundMatch& m, std::ostream* os) {
  *os << "{" << ::testing::PrintToString(m.value) << " at " << m.first_index << ", groups "
      << ::testing::PrintToString(m.groups) << "}";
}

// The straightforward way: RE2 with every submatch, match after match, over
// the UTF-8 form of the text; offsets counted on the GBK form of the prefix.
std::vector<FoundMatch> Re2Matches(const std::string& pattern, const std::string& gbk,
                                   bool ignore_case, bool global) {
  const std::string text = platform::GbkToUtf8(gbk);
  RE2::Options options;
  options.set_case_sensitive(!ignore_case);
  options.set_log_errors(false);
  const RE2 re("(?m)" + platform::GbkToUtf8(pattern), options);
  EXPECT_TRUE(re.ok()) << pattern;
  const int n = re.NumberOfCapturingGroups() + 1;
  std::vector<re2::StringPiece> sub(static_cast<std::size_t>(n));
  std::vector<FoundMatch> found;
  std::size_t pos = 0;
  while (pos <= text.size() && re.Match(text, pos, text.size(), RE2::UNANCHORED, sub.data(), n)) {
    FoundMatch m;
    const auto begin = static_cast<std::size_t>(sub[0].data() - text.data());
    m.value = platform::Utf8ToGbk(std::string(sub[0]));
    m.first_index =
        static_cast<double>(platform::Utf16Length(platform::Utf8ToGbk(text.substr(0, begin))));
    for (int k = 1; k < n; ++k) {
      m.groups.push_back(platform::Utf8ToGbk(std::string(sub[k])));
    }
    found.push_back(std::move(m));
    if (!global) {
      break;
    }
    const std::size_t end = begin + sub[0].size();
    if (end == begin) {
      if (end == text.size()) {
        break;
      }
      pos = end + 1;
      while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
        ++pos;
      }
    } else {
      pos = end;
    }
  }
  return found;
}

// The same through the component, by member name.
std::vector<FoundMatch> ComponentMatches(const std::string& pattern, const std::string& gbk,
                                         bool ignore_case, bool global) {
  automation::ObjectSlot engine;
  EXPECT_TRUE(engine.Create("VBScript.RegExp"));
  engine.Put("IgnoreCase", ignore_case);
  engine.Put("Multiline", true);
  engine.Put("Global", global);
  engine.Put("Pattern", pattern);
  const automation::ObjectSlot matches = engine.CallObject("Execute", {gbk});
  EXPECT_FALSE(matches.IsEmpty()) << pattern;
  std::vector<FoundMatch> found;
  const auto count = static_cast<std::int32_t>(matches.GetNumber("Count"));
  for (std::int32_t k = 0; k < count; ++k) {
    const automation::ObjectSlot match = matches.GetObject("Item", {k});
    FoundMatch m;
    m.value = match.GetText("Value");
    m.first_index = match.GetNumber("FirstIndex");
    const automation::ObjectSlot groups = match.GetObject("SubMatches");
    const auto n = static_cast<std::int32_t>(groups.GetNumber("Count"));
    for (std::int32_t j = 0; j < n; ++j) {
      m.groups.push_back(groups.GetText("Item", {j}));
    }
    found.push_back(std::move(m));
  }
  return found;
}

class MatcherEquivalence : public ::testing::Test {
 protected:
  void SetUp() override { RegisterRegExpComponent(); }

  static void ExpectSame(const std::string& pattern, const std::string& text,
                         bool ignore_case = true, bool global = true) {
    const std::vector<FoundMatch> expected = Re2Matches(pattern, text, ignore_case, global);
    const std::vector<FoundMatch> actual = ComponentMatches(pattern, text, ignore_case, global);
    ASSERT_EQ(actual.size(), expected.size()) << pattern;
    for (std::size_t k = 0; k < expected.size(); ++k) {
      ASSERT_EQ(actual[k], expected[k]) << pattern << " match " << k;
    }
  }
};

TEST_F(MatcherEquivalence, ChannelPatternsOnGeneratedPages) {
  const bench::GeneratedPage page = bench::MakePage(256 * 1024, 1024);
  const std::string page1 = ReplacePairs(page.text, "//", "$", ":", "%3A", "|", "%7C");
  const std::string page2 = ReplacePairs(page.text, "//", "%2F%2F");
  EXPECT_EQ(Re2Matches(kChannel1Pattern, page1, true, true).size(), page.links1);
  EXPECT_EQ(Re2Matches(kChannel2Pattern, page2, true, true).size(), page.links2);
  ExpectSame(kChannel1Pattern, page1);
  ExpectSame(kChannel2Pattern, page2);
  ExpectSame(kChannel2Pattern, page2, false);
  ExpectSame(kChannel2Pattern, page2, true, false);
}

TEST_F(MatcherEquivalence, HostilePages) {
  const bench::GeneratedPage tail = bench::MakePage(64 * 1024, 512);
  const bench::GeneratedPage long_line = bench::MakeHostileLongLine(200 * 1024, tail);
  ExpectSame(kChannel2Pattern, long_line.text);
  EXPECT_EQ(ComponentMatches(kChannel2Pattern, long_line.text, true, true).size(), tail.links2);
  ExpectSame(kChannel2Pattern, bench::MakeDoubleByteText(128 * 1024, 16 * 1024).text);
}

TEST_F(MatcherEquivalence, ChannelThreeScript) {
  std::string script;
  for (int k = 0; k < 50; ++k) {
    script += "var s" + std::to_string(k) + "='" + Gbk(U8(u8"第集")) + "$qvod://" +
              std::to_string(k) + "|ABC|%u5F71" + std::to_string(k) + ".rmvb|$qvod'#";
    if (k % 7 == 0) {
      script += "\r\n";
    }
  }
  ExpectSame(kChannel3Pattern, script);
}

TEST_F(MatcherEquivalence, GroupsReadLongAfterTheSearchSeeTheirContext) {
  // Few matches in a long text: only the matches and their neighbours are kept.
  const std::string filler(5000, 'z');
  const std::string text =
      filler + "\nqa\n" + filler + " qb " + filler + "qc\nq" + Gbk(U8(u8"影")) + "\n" + filler;
  for (const char* pattern : {"^q(.)$", "\\bq(\\w)\\b", "(q)(.)", "z(q)(.)", "(q)(.)\\s"}) {
    ExpectSame(pattern, text);
  }
}

TEST_F(MatcherEquivalence, RandomTextsAndPatterns) {
  const char* alphabet[] = {
      "q",   "Q",      "v",        "o",     "d",     "%3A",           "%3a",
      "%2F", "%2f",    "%7C",      "%7c",   "$",     "qvod%3A%2F%2F", "QVOD%3A$",
      "a",   "\n",     "\r",       "\x81q", "\x81|", "\xB0\xA1",      "\xFF",
      "'",   "$qvod'", "$qvod://", "x",     "\x81",  "\x81\x7F",      "\x80"};
  const std::string patterns[] = {
      kChannel1Pattern,
      kChannel2Pattern,
      kChannel3Pattern,
      "a(.*?)x(.*?)",         // a trailing group
      "(.*?)x",               // a leading group
      "q(.*?)(.*?)d",         // adjacent groups
      "%7C(.*?)%7c",          // same literal in both letter cases
      Gbk(U8(u8"啊(.*?)x")),  // a double-byte literal
      "qv(o|d)(.*?)x",        // not a literal chain
      "^(.)(.*?)$",           // line anchors around extracted groups
      "\\bq(\\w*)\\b",        // word boundaries around extracted groups
  };
  std::mt19937 rng(5);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int pieces = static_cast<int>(rng() % 60);
    for (int k = 0; k < pieces; ++k) {
      text += alphabet[rng() % (sizeof(alphabet) / sizeof(alphabet[0]))];
    }
    const std::string& pattern = patterns[rng() % (sizeof(patterns) / sizeof(patterns[0]))];
    const bool ignore_case = rng() % 4 != 0;
    const bool global = rng() % 5 != 0;
    SCOPED_TRACE(::testing::PrintToString(text));
    ExpectSame(pattern, text, ignore_case, global);
    if (HasFatalFailure()) {
      return;
    }
  }
}

}  // namespace
}  // namespace qvod
