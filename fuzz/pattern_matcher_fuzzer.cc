// PatternMatcher with the three channel patterns over any page: the match
// count, the match texts and the group texts agree with a plain re-scan that
// reads each pattern for what it is, a chain of literals joined by lazy groups:
// the leftmost start where the first literal stands (ASCII letters folded, as
// the channels search without regard to case), each group the shortest run up
// to the next literal without crossing a line feed, the next match searched
// from the end of the last one. Positions, when found, point at the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "extract/pattern_matcher.h"
#include "extract/regexp.h"
#include "fuzz_support.h"
#include "platform/codepage.h"

namespace {

using qvod::platform::GbkToUtf16;
using qvod::platform::Utf16ToGbk;

struct ChannelPattern {
  const char* pattern;
  std::vector<std::u16string> literals;  // lower case; literals[k] follows group k
};

const ChannelPattern kPatterns[] = {
    {"qvod%3A\\$(.*?)%7C(.*?)%7C(.*?)%7C", {u"qvod%3a$", u"%7c", u"%7c", u"%7c"}},
    {"qvod%3A%2F%2F(.*?)%7C(.*?)%7C(.*?)%7C", {u"qvod%3a%2f%2f", u"%7c", u"%7c", u"%7c"}},
    {"\\$qvod://(.*?)\\$qvod'", {u"$qvod://", u"$qvod'"}},
};

struct Span {
  std::size_t begin;
  std::size_t end;
};

struct Match {
  Span whole;
  std::vector<Span> groups;
};

bool LiteralAt(const std::u16string& text, std::size_t pos, const std::u16string& literal) {
  if (text.size() - pos < literal.size()) {
    return false;
  }
  for (std::size_t k = 0; k < literal.size(); ++k) {
    char16_t c = text[pos + k];
    if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c - u'A' + u'a');
    }
    if (c != literal[k]) {
      return false;
    }
  }
  return true;
}

bool MatchAt(const std::u16string& text, std::size_t start, const ChannelPattern& p, Match& m) {
  if (!LiteralAt(text, start, p.literals[0])) {
    return false;
  }
  m.groups.clear();
  std::size_t pos = start + p.literals[0].size();
  for (std::size_t k = 1; k < p.literals.size(); ++k) {
    std::size_t at = pos;
    while (at < text.size() && text[at] != u'\n' && !LiteralAt(text, at, p.literals[k])) {
      ++at;
    }
    if (at >= text.size() || text[at] == u'\n') {
      return false;
    }
    m.groups.push_back({pos, at});
    pos = at + p.literals[k].size();
  }
  m.whole = {start, pos};
  return true;
}

std::vector<Match> Rescan(const std::u16string& text, const ChannelPattern& p) {
  std::vector<Match> matches;
  std::size_t from = 0;
  for (;;) {
    Match m;
    std::size_t start = from;
    while (start < text.size() && !MatchAt(text, start, p, m)) {
      ++start;
    }
    if (start >= text.size()) {
      return matches;
    }
    matches.push_back(m);
    from = m.whole.end;
  }
}

std::string Gbk(const std::u16string& text, Span span) {
  return Utf16ToGbk(text.substr(span.begin, span.end - span.begin));
}

bool FoundAt(const std::string& searched, std::int32_t position, const std::string& found) {
  if (position < 0 || static_cast<std::size_t>(position) + found.size() > searched.size()) {
    return false;
  }
  for (std::size_t k = 0; k < found.size(); ++k) {
    if (qvod::fuzz::FoldAscii(searched[static_cast<std::size_t>(position) + k]) !=
        qvod::fuzz::FoldAscii(found[k])) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qvod::RegisterRegExpComponent();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvod::fuzz::FuzzInput input(data, size);
  const ChannelPattern& p = kPatterns[input.Byte() % 3];
  const std::string page = input.Rest();
  const std::u16string wide = GbkToUtf16(page);
  const std::vector<Match> expected = Rescan(wide, p);

  qvod::PatternMatcher matcher;
  FUZZ_CHECK(matcher.Search(p.pattern, page));
  const std::int32_t count = matcher.MatchCount();
  FUZZ_CHECK(count == static_cast<std::int32_t>(expected.size()));
  const auto groups = static_cast<std::int32_t>(p.literals.size() - 1);
  FUZZ_CHECK(matcher.SubMatchCount() == (count > 0 ? groups : 0));
  for (std::int32_t i = 1; i <= count; ++i) {
    const Match& m = expected[static_cast<std::size_t>(i - 1)];
    std::int32_t position = 0;
    const std::string text = matcher.MatchText(i, &position);
    FUZZ_CHECK(text == Gbk(wide, m.whole));
    FUZZ_CHECK(position == -2 || FoundAt(page, position, text));
    for (std::int32_t j = 1; j <= groups; ++j) {
      const std::string group = matcher.SubMatchText(i, j, &position);
      FUZZ_CHECK(group == Gbk(wide, m.groups[static_cast<std::size_t>(j - 1)]));
      FUZZ_CHECK(position == -2 || FoundAt(page, position, group));
    }
    FUZZ_CHECK(matcher.SubMatchText(i, groups + 1).empty());
  }
  FUZZ_CHECK(matcher.SubMatchText(0, 1).empty());
  FUZZ_CHECK(matcher.SubMatchText(count + 1, 1).empty());
  FUZZ_CHECK(matcher.MatchText(count + 1).empty());
  return 0;
}
