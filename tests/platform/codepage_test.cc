// The code-page conversion: exact round trips on any bytes, the GBK forms of
// Chinese text, and the substitutes for characters that GBK lacks.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>

namespace qvod::platform {
namespace {

constexpr char kYingYinGbk[] = "\xD3\xB0\xD2\xF4";  // 影音

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

TEST(Codepage, EverySingleByteSurvivesBothRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf16ToGbk(GbkToUtf16(one)), one) << "byte " << b;
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(one)), one) << "byte " << b;
    EXPECT_EQ(Utf16Length(one), 1u) << "byte " << b;
  }
}

TEST(Codepage, RandomBytesSurviveBothRoundTrips) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<std::size_t>(1 + round * 37 % 3000), '\0');
    for (char& c : bytes) {
      c = static_cast<char>(byte(rng));
    }
    ASSERT_EQ(Utf16ToGbk(GbkToUtf16(bytes)), bytes) << "round " << round;
    ASSERT_EQ(Utf8ToGbk(GbkToUtf8(bytes)), bytes) << "round " << round;
  }
}

// The length counts characters, each one unit, and counting up to a position
// in steps gives what one count does.
TEST(Codepage, LengthsOfRandomBytesCountTheirCharacters) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<std::size_t>(1 + round * 53 % 2000), '\0');
    // Mostly high bytes, so that pairs and stray bytes meet often, or (every
    // other round) long ASCII runs with a few.
    const unsigned ascii_in_eight = round % 2 == 0 ? 2 : 7;
    for (char& c : bytes) {
      c = static_cast<char>(rng() % 8 < ascii_in_eight ? byte(rng) % 0x80 : byte(rng));
    }
    const std::u16string wide = GbkToUtf16(bytes);
    const auto characters = static_cast<std::size_t>(std::count_if(
        wide.begin(), wide.end(), [](char16_t u) { return u < 0xDC00 || u > 0xDFFF; }));
    ASSERT_EQ(Utf16Length(bytes), characters) << "round " << round;

    std::size_t at = 0;
    std::size_t units = 0;
    while (at < bytes.size()) {
      const std::size_t to = std::min(bytes.size(), at + 1 + rng() % 40);
      std::size_t end = 0;
      units += Utf16LengthUpTo(bytes, at, to, end);
      ASSERT_TRUE(end == to || end == to + 1) << "round " << round << " to " << to;
      ASSERT_EQ(units, Utf16Length(bytes.substr(0, end))) << "round " << round << " to " << to;
      at = end;
    }
    ASSERT_EQ(units, characters) << "round " << round;
  }
}

TEST(Codepage, ChineseTextConvertsBothWays) {
  EXPECT_EQ(GbkToUtf8(kYingYinGbk), U8(u8"影音"));
  EXPECT_EQ(GbkToUtf16(kYingYinGbk), u"影音");
  EXPECT_EQ(Utf8ToGbk(U8(u8"影音.rmvb")), std::string(kYingYinGbk) + ".rmvb");
  EXPECT_EQ(Utf16ToGbk(u"影音"), kYingYinGbk);
  EXPECT_EQ(Utf16Length(kYingYinGbk), 2u);
}

TEST(Codepage, DoubleByteCharacterAcrossAnInternalBlockBoundaryConvertsWhole) {
  // The UTF-8 encoder works in blocks of 16 KiB; a character may straddle one.
  for (std::size_t prefix : {16383u, 16384u, 32767u}) {
    const std::string gbk = std::string(prefix, 'a') + kYingYinGbk + "z";
    EXPECT_EQ(GbkToUtf8(gbk), std::string(prefix, 'a') + U8(u8"影音z")) << prefix;
  }
}

TEST(Codepage, SecondByteInAsciiRangeBelongsToItsCharacter) {
  // 0x81 0x71 and 0x81 0x7C are characters whose second byte reads as 'q' and '|'.
  EXPECT_EQ(GbkToUtf16("\x81q").size(), 1u);
  EXPECT_EQ(GbkToUtf16("\x81|").size(), 1u);
  EXPECT_EQ(Utf16Length("\x81qvod"), 4u);
}

TEST(Codepage, LengthUpToAPositionTellsWhetherACharacterBeginsThere) {
  // "a", 影 (two bytes), 0x81 0x71 (one character ending in 'q'), a stray 0xFF, "b".
  const std::string text = std::string("a") + kYingYinGbk + "\x81q\xFF" + "b";
  struct Case {
    std::size_t from;
    std::size_t to;
    std::size_t units;
    std::size_t end;
  };
  const Case cases[] = {
      {0, 0, 0, 0}, {0, 1, 1, 1}, {0, 2, 2, 3}, {0, 3, 2, 3}, {1, 5, 2, 5},
      {0, 7, 4, 7}, {0, 8, 5, 8}, {0, 9, 6, 9}, {3, 8, 3, 8}, {5, 6, 1, 7},
      {0, 6, 4, 7}, {7, 9, 2, 9}, {9, 9, 0, 9}, {3, 4, 1, 5},
  };
  for (const Case& c : cases) {
    std::size_t end = 0;
    EXPECT_EQ(Utf16LengthUpTo(text, c.from, c.to, end), c.units) << c.from << ".." << c.to;
    EXPECT_EQ(end, c.end) << c.from << ".." << c.to;
  }
  std::size_t end = 0;
  EXPECT_EQ(Utf16LengthUpTo(text, 0, text.size(), end), Utf16Length(text));
  EXPECT_EQ(end, text.size());
}

TEST(Codepage, StrayByteIsOneCharacterOutsideTheBmpAndOneUnitOfLength) {
  const std::u16string wide = GbkToUtf16("\xFF");
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(static_cast<char32_t>(0x10000 + ((wide[0] - 0xD800) << 10) + (wide[1] - 0xDC00)),
            kStrayByteBase + 0xFF);
  EXPECT_EQ(Utf16Length("a\xFF"
                        "b"),
            3u);
}

struct Substitution {
  const char* name;
  std::u16string text;
  std::string gbk;
};

TEST(Codepage, CharactersGbkLacksBecomeSubstitutes) {
  const Substitution cases[] = {
      {"pinyin letter GBK has", u"\u00E9", "\xA8\xA6"},  // é
      {"ring above drops to its base letter", u"\u00E5", "a"},
      {"capital with grave that GBK lacks", u"\u00C8", "E"},
      {"fraction has no substitute", u"\u00BD", "?"},
      {"lone high surrogate", u"\xD800", "?"},
      {"lone low surrogate between letters", u"a\xDC00z", "a?z"},
      {"character beyond the BMP", u"\U0001F600", "?"},
  };
  for (const Substitution& c : cases) {
    EXPECT_EQ(Utf16ToGbk(c.text), c.gbk) << c.name;
  }
}

TEST(Codepage, InvalidUtf8BytesBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToGbk("a\xC3(b"), "a?(b");
  EXPECT_EQ(Utf8ToGbk("\xE5\xBD"), "??");
  EXPECT_EQ(Utf8ToGbk("\xC0\xAF"), "??");  // overlong
}

TEST(Codepage, EmptyTextStaysEmpty) {
  EXPECT_EQ(GbkToUtf8(""), "");
  EXPECT_EQ(GbkToUtf16(""), u"");
  EXPECT_EQ(Utf8ToGbk(""), "");
  EXPECT_EQ(Utf16ToGbk(u""), "");
  EXPECT_EQ(Utf16Length(""), 0u);
}

}  // namespace
}  // namespace qvod::platform
