// ReplacePairs, TextBetween and ScriptUnescape, and ReplacePairs checked
// against a plain character-by-character rewrite on random and generated texts.
#include "extract/text_helpers.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "page_generator.h"
#include "test_support.h"

namespace qvod {
namespace {

using qvod::testing::Gbk;

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

struct PairsCase {
  const char* name;
  std::string text;
  std::string find1, replacement1, find2, replacement2, find3, replacement3;
  std::string expected;
};

TEST(ReplacePairs, RewritesWithTheDefaultOptions) {
  const PairsCase cases[] = {
      {"channel 1 pairs", "qvod://1|2|3|", "//", "$", ":", "%3A", "|", "%7C",
       "qvod%3A$1%7C2%7C3%7C"},
      {"channel 3 pairs ignore letter case", "%24qvod%3a//a%7cb%7C", "%24", "$", "%3A", ":", "%7C",
       "|", "$qvod://a|b|"},
      {"lower-case find replaces upper case too", "a.rmvb\r\nb.RMVB", "rmvb", "avi", "", "", "", "",
       "a.avi\r\nb.avi"},
      {"empty replacement deletes", "a-b-c", "-", "", "", "", "", "", "abc"},
      {"left to right without overlap or rescan", "aaaa", "aa", "a", "", "", "", "", "aa"},
      {"later pair sees earlier output", "ab", "a", "x", "xb", "y", "", "", "y"},
      {"empty find leaves text", "abc", "", "x", "", "", "", "", "abc"},
      {"empty text", "", "a", "b", "", "", "", "", ""},
      {"find longer than text", "ab", "abc", "x", "", "", "", "", "ab"},
      {"occurrence at the very end", "xx//", "//", "$", "", "", "", "", "xx$"},
      {"second byte plus next first byte is not found", "\xB0\xA1\xB0\xA1", "\xA1\xB0", "!", "", "",
       "", "", "\xB0\xA1\xB0\xA1"},
      {"ascii second byte is not found", "\x81|a|", "|", "%7C", "", "", "", "", "\x81|a%7C"},
      {"ascii second byte q is not a scheme", "\x81qvod://", "qvod", "X", "", "", "", "",
       "\x81qvod://"},
      {"whole double-byte find at a character start",
       "a\xB0\xA1"
       "b",
       "\xB0\xA1", "-", "", "", "", "", "a-b"},
      {"folding reaches second bytes inside the span",
       "\x81"
       "A",
       "\x81"
       "a",
       "x", "", "", "", "", "x"},
      {"lone lead byte at the end is copied", "ab\x81", "b", "c", "", "", "", "", "ac\x81"},
  };
  for (const PairsCase& c : cases) {
    EXPECT_EQ(ReplacePairs(c.text, c.find1, c.replacement1, c.find2, c.replacement2, c.find3,
                           c.replacement3),
              c.expected)
        << c.name;
  }
}

struct OptionsCase {
  const char* name;
  std::string text;
  ReplaceOptions options;
  std::string expected;  // of the pair "ab" -> "X"
};

TEST(ReplacePairs, HonoursCountStartAndCase) {
  const OptionsCase cases[] = {
      {"count limits each pair", "ab ab ab", {2, std::nullopt, false}, "X X ab"},
      {"count zero changes nothing", "ab ab", {0, std::nullopt, false}, "ab ab"},
      {"negative count has no limit", "ab ab", {-1, std::nullopt, false}, "X X"},
      {"start skips earlier bytes", "ab ab ab", {std::nullopt, 2, false}, "ab X X"},
      {"start 0 means the first byte", "ab", {std::nullopt, 0, false}, "X"},
      {"negative start means the first byte", "ab", {std::nullopt, -5, false}, "X"},
      {"start beyond the text", "ab", {std::nullopt, 3, false}, "ab"},
      {"start at the last byte", "xab", {std::nullopt, 2, false}, "xX"},
      {"case sensitive keeps other case",
       "ab AB Ab",
       {std::nullopt, std::nullopt, true},
       "X AB Ab"},
      {"case insensitive by default", "ab AB Ab", {}, "X X X"},
      // From a start inside a double-byte character, the scan takes that byte as a character start.
      {"start on a second byte",
       "\xB0"
       "ab",
       {std::nullopt, 2, false},
       "\xB0X"},
  };
  for (const OptionsCase& c : cases) {
    EXPECT_EQ(ReplacePairs(c.text, c.options, "ab", "X"), c.expected) << c.name;
  }
}

TEST(ReplacePairs, AppliesUpToFivePairsInOrder) {
  EXPECT_EQ(
      ReplacePairs("abcde", ReplaceOptions{}, "a", "1", "b", "2", "c", "3", "d", "4", "e", "5"),
      "12345");
  EXPECT_EQ(ReplacePairs("a", ReplaceOptions{}, "a", "b", "b", "c", "c", "d", "d", "e", "e", "f"),
            "f");
}

// The replace operation written as plainly as it reads, one character at a time.
std::string PlainReplace(const std::string& t, const std::string& f, const std::string& r,
                         std::size_t s, std::optional<std::int32_t> count, bool exact) {
  if (t.empty() || f.empty() || s > t.size() || (count && *count == 0)) {
    return t;
  }
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  std::string out = t.substr(0, s - 1);
  std::size_t i = s - 1;
  std::int32_t made = 0;
  bool stopped = false;
  while (!stopped && i < t.size() && t.size() - i >= f.size()) {
    bool equal = true;
    for (std::size_t k = 0; k < f.size() && equal; ++k) {
      equal = exact ? t[i + k] == f[k] : fold(t[i + k]) == fold(f[k]);
    }
    if (equal) {
      out += r;
      i += f.size();
      stopped = count && *count > 0 && ++made == *count;
    } else {
      const std::size_t len = static_cast<unsigned char>(t[i]) >= 0x80 ? 2 : 1;
      out += t.substr(i, len);
      i += len;
    }
  }
  if (i < t.size()) {
    out += t.substr(i);
  }
  return out;
}

TEST(ReplacePairs, MatchesThePlainRewriteOnRandomTexts) {
  const char* alphabet[] = {"a", "A", "b",        "/",     "//",    ":",    "|",    "\xB0", "\x81",
                            "q", "Q", "\xB0\xA1", "\x81q", "\x81|", "\xFF", "\r\n", "%7C",  "%7c"};
  const char* finds[] = {"a",    "ab",  "//", "|", "\xA1\xB0", "\xB0\xA1", "q|",
                         "\x81", "%7C", "aA", "/", "7c",       "C",        ":"};
  const char* replacements[] = {"", "$", "%7C", "xyz", "\x81", "|", "c", "%3A"};
  std::mt19937 rng(11);
  const auto pick = [&](auto& array) {
    return std::string(array[rng() % (sizeof(array) / sizeof(array[0]))]);
  };
  for (int round = 0; round < 6000; ++round) {
    std::string text;
    const int pieces = static_cast<int>(rng() % 40);
    for (int k = 0; k < pieces; ++k) {
      text += pick(alphabet);
    }
    const std::string f1 = pick(finds), r1 = pick(replacements);
    const std::string f2 = pick(finds), r2 = pick(replacements);
    const std::string f3 = rng() % 2 == 0 ? "" : pick(finds), r3 = pick(replacements);
    ReplaceOptions options;
    if (rng() % 3 == 0) {
      options.count = static_cast<std::int32_t>(rng() % 4) - 1;
    }
    if (rng() % 3 == 0) {
      options.start = static_cast<std::int32_t>(rng() % 6) - 1;
    }
    options.case_sensitive = rng() % 2 == 0;
    const std::size_t s =
        options.start && *options.start > 0 ? static_cast<std::size_t>(*options.start) : 1;
    const auto plain = [&](const std::string& t, const std::string& f, const std::string& r) {
      return PlainReplace(t, f, r, s, options.count, options.case_sensitive);
    };
    const std::string expected = plain(plain(plain(text, f1, r1), f2, r2), f3, r3);
    ASSERT_EQ(ReplacePairs(text, options, f1, r1, f2, r2, f3, r3), expected)
        << "round " << round << " text " << ::testing::PrintToString(text);
  }
}

TEST(ReplacePairs, MatchesThePlainRewriteOnAGeneratedPage) {
  const std::string page = bench::MakePage(300 * 1024).text;
  const std::string expected =
      PlainReplace(PlainReplace(PlainReplace(page, "//", "$", 1, std::nullopt, false), ":", "%3A",
                                1, std::nullopt, false),
                   "|", "%7C", 1, std::nullopt, false);
  EXPECT_EQ(ReplacePairs(page, "//", "$", ":", "%3A", "|", "%7C"), expected);
  EXPECT_EQ(ReplacePairs(page, "//", "%2F%2F"),
            PlainReplace(page, "//", "%2F%2F", 1, std::nullopt, false));
}

TEST(ReplacePairs, PageMadeOnlyOfTheFindTextIsRewrittenWhole) {
  const std::string page(200000, '|');
  const std::string out = ReplacePairs(page, "|", "%7C");
  ASSERT_EQ(out.size(), 600000u);
  EXPECT_EQ(out.find_first_not_of("%7C"), std::string::npos);
}

struct BetweenCase {
  const char* name;
  std::string text, start, end, expected;
};

TEST(TextBetween, CutsBetweenTheFirstStartAndTheNextEnd) {
  const BetweenCase cases[] = {
      {"play-data id", "<script src=\"/playdata/678.js?v=1\"></script>", "/playdata/", ".js?",
       "678"},
      {"host and port", "http://www.example.com:8080/movie.asp?id=4983", "//", "/",
       "www.example.com:8080"},
      {"nothing after the host", "http://www.example.com", "//", "/", ""},
      {"first start marker is used", "[a][b]", "[", "]", "a"},
      {"end marker only before the start", "x]y[z", "[", "]", ""},
      {"start marker absent", "abc", "[", "]", ""},
      {"end follows start directly", "[]", "[", "]", ""},
      {"start marker ends the text", "abc[", "[", "]", ""},
      {"comparison is exact", "<A>x</A>", "<a>", "</a>", ""},
      {"marker at a second byte is not found", "\x81/playdata/1.js? /playdata/2.js?", "/playdata/",
       ".js?", "2"},
      {"ascii second byte does not start a marker", "\x81[a][b]", "[", "]", "b"},
      {"empty text", "", "[", "]", ""},
      {"empty start marker", "a]", "", "]", ""},
      {"empty end marker", "[a", "[", "", ""},
  };
  for (const BetweenCase& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.start, c.end), c.expected) << c.name;
  }
}

struct UnescapeCase {
  const char* name;
  std::string text, expected;
};

TEST(ScriptUnescape, DecodesPercentEscapesThroughUtf16) {
  const UnescapeCase cases[] = {
      {"unicode escapes", "%u5F71%u97F3.rmvb", Gbk(U8(u8"影音.rmvb"))},
      {"lower-case hex digits", "%u5f71%7c", Gbk(U8(u8"影|"))},
      {"two-digit escape", "a%20b", "a b"},
      {"utf-8 bytes stay three characters", "%E5%BD%B1", Gbk(U8(u8"\u00E5\u00BD\u00B1"))},
      {"trailing percent", "100%", "100%"},
      {"not hex", "%zz", "%zz"},
      {"short unicode escape", "%u12", "%u12"},
      {"apostrophe and backslash", "it's a\\b", "it's a\\b"},
      {"line breaks are characters", "a\r\nb%0A", "a\r\nb\n"},
      {"gbk text passes through", Gbk(U8(u8"影音%u97F3")), Gbk(U8(u8"影音音"))},
      {"escape after a character whose second byte is q", "\x81q%41", "\x81qA"},
      {"stray byte survives", "\xFF%41",
       "\xFF"
       "A"},
      {"lone surrogate becomes a question mark", "%uD800x", "?x"},
      {"escaped surrogate pair outside gbk", "%uD83D%uDE00", "?"},
      {"percent escape of a percent sign is decoded once", "%2541", "%41"},
      {"empty text", "", ""},
  };
  for (const UnescapeCase& c : cases) {
    EXPECT_EQ(ScriptUnescape(c.text), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace qvod
