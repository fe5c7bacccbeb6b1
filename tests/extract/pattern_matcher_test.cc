// PatternMatcher over the "VBScript.RegExp" component: options, matches and
// groups, positions in GBK text, failures, and the engine's replace.
#include "extract/pattern_matcher.h"

#include <gtest/gtest.h>

#include <string>

#include "automation/automation.h"
#include "extract/regexp.h"
#include "test_support.h"

namespace qvod {
namespace {

using qvod::testing::Gbk;

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

constexpr char kChannel2Pattern[] = "qvod%3A%2F%2F(.*?)%7C(.*?)%7C(.*?)%7C";

std::string Record(const std::string& a, const std::string& b, const std::string& c) {
  return "qvod%3A%2F%2F" + a + "%7C" + b + "%7C" + c + "%7C";
}

class PatternMatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterRegExpComponent(); }
  void TearDown() override { RegisterRegExpComponent(); }

  PatternMatcher matcher;
};

TEST_F(PatternMatcherTest, FreshMatcherHasNothing) {
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.SubMatchCount(), 0);
  EXPECT_EQ(matcher.MatchText(1), "");
  EXPECT_EQ(matcher.SubMatchText(1, 1), "");
  EXPECT_EQ(matcher.PatternText(), "");
  EXPECT_EQ(matcher.ReplaceAll("x"), "");
}

TEST_F(PatternMatcherTest, FindsEveryRecordRegardlessOfLetterCase) {
  const std::string page = "<a>" + Record("123", "ABCDEF", "movie.rmvb") + "</a>\r\n" +
                           "QVOD%3a%2f%2f456%7cFEDCBA%7cother.rmvb%7c\r\n" + Record("7", "H", "n") +
                           Record("8", "I", "o") + Record("9", "J", "p");
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, page));
  ASSERT_EQ(matcher.MatchCount(), 5);
  EXPECT_EQ(matcher.SubMatchCount(), 3);
  EXPECT_EQ(matcher.SubMatchText(1, 1), "123");
  EXPECT_EQ(matcher.SubMatchText(1, 2), "ABCDEF");
  EXPECT_EQ(matcher.SubMatchText(1, 3), "movie.rmvb");
  EXPECT_EQ(matcher.SubMatchText(2, 1), "456");
  EXPECT_EQ(matcher.SubMatchText(2, 3), "other.rmvb");
  EXPECT_EQ(matcher.MatchText(5), Record("9", "J", "p"));
  EXPECT_EQ(matcher.PatternText(), kChannel2Pattern);
}

TEST_F(PatternMatcherTest, GlobalFalseFindsOnlyTheFirstMatch) {
  const std::string page = Record("1", "2", "3") + Record("4", "5", "6");
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, page, false, true, false));
  EXPECT_EQ(matcher.MatchCount(), 1);
  EXPECT_EQ(matcher.SubMatchText(1, 1), "1");
}

TEST_F(PatternMatcherTest, LazyGroupsEndAtTheFirstSeparator) {
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, "qvod%3A%2F%2Fa%7C%7Cb%7Cc%7Cd%7C"));
  ASSERT_EQ(matcher.MatchCount(), 1);
  EXPECT_EQ(matcher.SubMatchText(1, 1), "a");
  EXPECT_EQ(matcher.SubMatchText(1, 2), "");
  EXPECT_EQ(matcher.SubMatchText(1, 3), "b");
}

struct LineCase {
  const char* name;
  std::string text;
  int count;
};

TEST_F(PatternMatcherTest, DotStopsAtLineFeedButNotAtCarriageReturn) {
  const LineCase cases[] = {
      {"line feed inside a record", "qvod%3A%2F%2Fa\nb%7Cc%7Cd%7C", 0},
      {"carriage return inside a record", "qvod%3A%2F%2Fa\rb%7Cc%7Cd%7C", 1},
      {"record on the next line still found", "qvod%3A%2F%2Fa\n" + Record("1", "2", "3"), 1},
      {"separators on a later line", "qvod%3A%2F%2Fa%7Cb\n%7Cc%7C", 0},
  };
  for (const LineCase& c : cases) {
    ASSERT_TRUE(matcher.Search(kChannel2Pattern, c.text)) << c.name;
    EXPECT_EQ(matcher.MatchCount(), c.count) << c.name;
  }
}

TEST_F(PatternMatcherTest, CaretAndDollarMatchAtLineEndsUnderMultiline) {
  const std::string text = "abc\nxbz\nadc";
  ASSERT_TRUE(matcher.Search("^a.c$", text));
  ASSERT_EQ(matcher.MatchCount(), 2);
  EXPECT_EQ(matcher.MatchText(2), "adc");
  ASSERT_TRUE(matcher.Search("^a.c$", text, false, false));
  EXPECT_EQ(matcher.MatchCount(), 0);
  ASSERT_TRUE(matcher.Search("^a.c", text, false, false));
  EXPECT_EQ(matcher.MatchCount(), 1);
}

TEST_F(PatternMatcherTest, CaseSensitiveSearchKeepsLetterCase) {
  ASSERT_TRUE(matcher.Search("abc", "ABC abc Abc", true));
  EXPECT_EQ(matcher.MatchCount(), 1);
  ASSERT_TRUE(matcher.Search("abc", "ABC abc Abc"));
  EXPECT_EQ(matcher.MatchCount(), 3);
}

TEST_F(PatternMatcherTest, EmptyTextGivesACollectionWithoutMatches) {
  EXPECT_TRUE(matcher.Search(kChannel2Pattern, ""));
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.SubMatchCount(), 0);
}

TEST_F(PatternMatcherTest, InvalidPatternFailsTheSearch) {
  for (const char* pattern : {"qvod(.*?", "a)b", "x{2,1}", "(?=a)b", "(a)\\1"}) {
    EXPECT_FALSE(matcher.Search(pattern, "qvod a ab aa")) << pattern;
    EXPECT_EQ(matcher.MatchCount(), 0) << pattern;
    EXPECT_EQ(matcher.SubMatchText(1, 1), "") << pattern;
    EXPECT_EQ(matcher.SubMatchCount(), 0) << pattern;
  }
}

TEST_F(PatternMatcherTest, MissingEngineFailsEveryOperationQuietly) {
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, Record("1", "2", "3")));
  automation::UnregisterProgId("VBScript.RegExp");
  EXPECT_FALSE(matcher.Search(kChannel2Pattern, Record("1", "2", "3")));
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.SubMatchText(1, 1), "");
  EXPECT_EQ(matcher.PatternText(), "");
  EXPECT_EQ(matcher.ReplaceAll("x"), "");
}

TEST_F(PatternMatcherTest, OutOfRangeNumbersGiveEmptyTexts) {
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, Record("1", "2", "3") + Record("4", "5", "6")));
  std::int32_t position = 99;
  EXPECT_EQ(matcher.SubMatchText(3, 1), "");
  EXPECT_EQ(matcher.SubMatchText(0, 1), "");
  EXPECT_EQ(matcher.SubMatchText(-1, 1), "");
  EXPECT_EQ(matcher.SubMatchText(1, 4), "");
  EXPECT_EQ(matcher.SubMatchText(1, 0), "");
  EXPECT_EQ(matcher.MatchText(3, &position), "");
  EXPECT_EQ(position, 0);  // an empty text is found at the first byte
}

TEST_F(PatternMatcherTest, GroupThatTookNoPartReadsEmpty) {
  ASSERT_TRUE(matcher.Search("(a)|(b)", "b"));
  ASSERT_EQ(matcher.MatchCount(), 1);
  EXPECT_EQ(matcher.SubMatchCount(), 2);
  EXPECT_EQ(matcher.SubMatchText(1, 1), "");
  EXPECT_EQ(matcher.SubMatchText(1, 2), "b");
}

TEST_F(PatternMatcherTest, SubMatchCountIsZeroWithoutAMatch) {
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, "no records here"));
  EXPECT_EQ(matcher.SubMatchCount(), 0);
}

TEST_F(PatternMatcherTest, PositionInAsciiTextStartsOneByteEarly) {
  ASSERT_TRUE(matcher.Search("efg", "abcdefg"));
  std::int32_t position = 0;
  EXPECT_EQ(matcher.MatchText(1, &position), "efg");
  EXPECT_EQ(position, 4);
}

TEST_F(PatternMatcherTest, PositionAfterDoubleByteCharacters) {
  // FirstIndex is 5 (two characters, then "ABC"), taken as byte 5: the search
  // starts at "A", passes over "ABC" case-sensitively and finds "abc" at byte 8.
  const std::string text = Gbk(U8(u8"影音")) + "ABCabc";
  ASSERT_TRUE(matcher.Search("abc", text, true));
  std::int32_t position = 0;
  EXPECT_EQ(matcher.MatchText(1, &position), "abc");
  EXPECT_EQ(position, 7);

  // Ignoring case: "ABC" has FirstIndex 2, a second byte; the byte search
  // steps over the character from there and passes "A", finding "abc" at byte 8.
  // "abc" has FirstIndex 5 and is found, without regard to case, as "ABC".
  ASSERT_TRUE(matcher.Search("abc", text));
  EXPECT_EQ(matcher.MatchText(1, &position), "ABC");
  EXPECT_EQ(position, 7);
  EXPECT_EQ(matcher.MatchText(2, &position), "abc");
  EXPECT_EQ(position, 4);
}

TEST_F(PatternMatcherTest, PositionOfAGroupAndOfMissingTexts) {
  ASSERT_TRUE(matcher.Search("x(b+)y", "aaxbbyxby"));
  std::int32_t position = 0;
  EXPECT_EQ(matcher.SubMatchText(1, 1, &position), "bb");
  EXPECT_EQ(position, 3);
  EXPECT_EQ(matcher.SubMatchText(2, 1, &position), "b");
  EXPECT_EQ(position, 7);
  EXPECT_EQ(matcher.SubMatchText(2, 2, &position), "");
  EXPECT_EQ(position, 0);
  // No byte remains from start on: an empty text is not found.
  ASSERT_TRUE(matcher.Search("$", ""));
  EXPECT_EQ(matcher.MatchText(1, &position), "");
  EXPECT_EQ(position, -2);
}

TEST_F(PatternMatcherTest, MatchNeverStartsAtASecondByte) {
  // 0x81 0x71 is one character whose second byte reads as "q".
  const std::string text =
      "\x81q"
      "vod%3A%2F%2F1%7C2%7C3%7C";
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, text));
  EXPECT_EQ(matcher.MatchCount(), 0);
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, std::string("\x81|").append(Record("1", "2", "3"))));
  EXPECT_EQ(matcher.MatchCount(), 1);
}

TEST_F(PatternMatcherTest, DotMatchesOneWholeDoubleByteCharacter) {
  const std::string text = Gbk(U8(u8"影\n音乐\nab"));
  ASSERT_TRUE(matcher.Search("^.$", text));
  ASSERT_EQ(matcher.MatchCount(), 1);
  EXPECT_EQ(matcher.MatchText(1), Gbk(U8(u8"影")));
  ASSERT_TRUE(matcher.Search(Gbk(U8(u8"音(.)")), text));
  EXPECT_EQ(matcher.SubMatchText(1, 1), Gbk(U8(u8"乐")));
}

TEST_F(PatternMatcherTest, GroupsComeBackAsTheSameGbkBytes) {
  const std::string name = Gbk(U8(u8"影音")) +
                           "\x81q\x81|\xFF\x80"
                           "01.rmvb";
  ASSERT_TRUE(
      matcher.Search(kChannel2Pattern, std::string("\xFF").append(Record("12", "AB", name))));
  ASSERT_EQ(matcher.MatchCount(), 1);
  EXPECT_EQ(matcher.SubMatchText(1, 3), name);
}

TEST_F(PatternMatcherTest, EmptyMatchesAdvanceOneCharacter) {
  ASSERT_TRUE(matcher.Search("a*", "aab"));
  ASSERT_EQ(matcher.MatchCount(), 3);
  EXPECT_EQ(matcher.MatchText(1), "aa");
  EXPECT_EQ(matcher.MatchText(2), "");
  ASSERT_TRUE(matcher.Search("x*", Gbk(U8(u8"影音"))));
  EXPECT_EQ(matcher.MatchCount(), 3);
}

struct ReplaceCase {
  const char* name;
  std::string pattern, text, replacement, expected;
  bool global = true;
};

TEST_F(PatternMatcherTest, ReplaceAllUsesTheEngineReplacementSyntax) {
  const ReplaceCase cases[] = {
      {"groups", "(\\w+)@(\\w+)", "a@b c@d", "$2-$1", "b-a d-c"},
      {"whole match and dollar", "b+", "abba", "[$&$$]", "a[bb$]a"},
      {"text around the match", "b", "abc", "$`$'", "aacc"},
      {"missing group stays literal", "(a)", "a", "$2$1", "$2a"},
      {"two-digit group falls back to one digit", "(a)", "a", "$10", "a0"},
      {"only the first without global", "a", "aaa", "b", "baa", false},
      {"double-byte text", Gbk(U8(u8"音")), Gbk(U8(u8"影音影音")), "-", Gbk(U8(u8"影-影-"))},
  };
  for (const ReplaceCase& c : cases) {
    ASSERT_TRUE(matcher.Search(c.pattern, c.text, false, true, c.global)) << c.name;
    EXPECT_EQ(matcher.ReplaceAll(c.replacement), c.expected) << c.name;
  }
}

TEST_F(PatternMatcherTest, EcmaScriptEscapesAreUnderstood) {
  ASSERT_TRUE(matcher.Search("\\$qvod://(.*?)\\$qvod'", "a$qvod://x|y|$qvod'b"));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "x|y|");
  ASSERT_TRUE(matcher.Search("\\u5F71(\\d+)", Gbk(U8(u8"影12"))));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "12");
  ASSERT_TRUE(matcher.Search("\\x41\\/\\q", "A/q"));
  EXPECT_EQ(matcher.MatchCount(), 1);
}

TEST_F(PatternMatcherTest, CopyKeepsTheResultsOfItsSearch) {
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, Record("1", "2", "3")));
  const PatternMatcher copy = matcher;
  ASSERT_TRUE(matcher.Search(kChannel2Pattern, Record("4", "5", "6") + Record("7", "8", "9")));
  EXPECT_EQ(copy.MatchCount(), 1);
  EXPECT_EQ(copy.SubMatchText(1, 1), "1");
  EXPECT_EQ(matcher.MatchCount(), 2);
}

// Reads of one match reuse its objects; they must never outlive the search
// they came from, nor mix the results of two matchers.
TEST_F(PatternMatcherTest, InterleavedReadsOfTwoMatchersAndNewSearchesStayApart) {
  PatternMatcher other;
  ASSERT_TRUE(
      matcher.Search(kChannel2Pattern, Record("a1", "a2", "a3") + Record("b1", "b2", "b3")));
  ASSERT_TRUE(other.Search(kChannel2Pattern, Record("x1", "x2", "x3")));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "a1");
  EXPECT_EQ(other.SubMatchText(1, 1), "x1");
  EXPECT_EQ(matcher.SubMatchText(1, 2), "a2");
  EXPECT_EQ(matcher.MatchText(1), Record("a1", "a2", "a3"));
  EXPECT_EQ(matcher.SubMatchText(2, 3), "b3");
  EXPECT_EQ(matcher.SubMatchText(1, 3), "a3");

  ASSERT_TRUE(matcher.Search(kChannel2Pattern, Record("c1", "c2", "c3")));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "c1");
  EXPECT_EQ(matcher.SubMatchText(2, 1), "");
  ASSERT_FALSE(matcher.Search("(unclosed", Record("d1", "d2", "d3")));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "");
  EXPECT_EQ(other.SubMatchText(1, 2), "x2");
  {
    const PatternMatcher copy = other;
    EXPECT_EQ(copy.SubMatchText(1, 3), "x3");
  }
  EXPECT_EQ(other.SubMatchText(1, 1), "x1");
}

TEST_F(PatternMatcherTest, FirstIndexCountsCharactersAndStrayBytesAsOneUnit) {
  automation::ObjectSlot engine;
  ASSERT_TRUE(engine.Create("VBScript.RegExp"));
  engine.Put("Global", true);
  engine.Put("Pattern", "x");
  const std::string text = Gbk(U8(u8"影音")) +
                           "x\xFFx\x81q"
                           "ax";
  const automation::ObjectSlot matches = engine.CallObject("Execute", {text});
  ASSERT_EQ(matches.GetNumber("Count"), 3);
  const double expected[] = {2, 4, 7};
  for (std::int32_t k = 0; k < 3; ++k) {
    const automation::ObjectSlot match = matches.GetObject("Item", {k});
    EXPECT_EQ(match.GetNumber("FirstIndex"), expected[k]) << k;
    EXPECT_EQ(match.GetNumber("Length"), 1) << k;
  }
}

}  // namespace
}  // namespace qvod
