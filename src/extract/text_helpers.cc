#include "extract/text_helpers.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "extract/literal_search.h"
#include "platform/codepage.h"

namespace qvod {
namespace {

bool IsHigh(unsigned char c) { return c >= 0x80; }

// Returns true when position c, with `known` a character start at or before
// it, is itself a character start. Any byte below 0x80 ends a character (as a
// single byte or as the second byte of a pair), so only the run of bytes of
// 0x80 or above right before c decides: c starts a character when that run,
// counted back no further than `known`, has even length.
bool IsCharStart(const unsigned char* s, std::size_t known, std::size_t c) {
  std::size_t run = 0;
  while (c - run > known && IsHigh(s[c - run - 1])) {
    ++run;
  }
  return run % 2 == 0;
}

constexpr std::size_t kNone = extract::LiteralFinder::kNotFound;

struct Pair {
  std::string_view find;
  std::string_view replacement;
};

bool SameByte(char a, char b, bool fold) {
  return a == b || (fold && extract::FoldAsciiByte(static_cast<unsigned char>(a)) ==
                                extract::FoldAsciiByte(static_cast<unsigned char>(b)));
}

// Returns true when some occurrence of a could share a byte with one of b:
// a suffix of one is a prefix of the other, or one lies inside the other.
bool CanOverlap(std::string_view a, std::string_view b, bool fold) {
  const auto equal = [fold](std::string_view x, std::string_view y) {
    for (std::size_t k = 0; k < x.size(); ++k) {
      if (!SameByte(x[k], y[k], fold)) {
        return false;
      }
    }
    return true;
  };
  const std::string_view& shorter = a.size() <= b.size() ? a : b;
  const std::string_view& longer = a.size() <= b.size() ? b : a;
  for (std::size_t at = 0; at + shorter.size() <= longer.size(); ++at) {
    if (equal(shorter, longer.substr(at, shorter.size()))) {
      return true;
    }
  }
  for (std::size_t k = 1; k < shorter.size(); ++k) {
    if (equal(a.substr(a.size() - k), b.substr(0, k)) ||
        equal(b.substr(b.size() - k), a.substr(0, k))) {
      return true;
    }
  }
  return false;
}

// Returns true when applying the pairs one after the other gives the same text
// as one scan that tries them all at every character start, in order:
//  - every find and replacement text is ASCII, so replacing never moves the
//    character starts of the text around it;
//  - no two find texts can overlap, so at most one pair matches anywhere;
//  - no later find text shares a byte with an earlier replacement, and an
//    earlier replacement is empty only before finds of one byte, so no pair
//    sees an occurrence that an earlier pair made or joined together.
bool CanReplaceInOnePass(std::span<const Pair> pairs, bool fold) {
  for (const Pair& p : pairs) {
    for (const char c : p.find) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        return false;
      }
    }
    for (const char c : p.replacement) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        return false;
      }
    }
  }
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    for (std::size_t j = i + 1; j < pairs.size(); ++j) {
      if (CanOverlap(pairs[i].find, pairs[j].find, fold)) {
        return false;
      }
      if (pairs[i].replacement.empty() && pairs[j].find.size() > 1) {
        return false;
      }
      for (const char r : pairs[i].replacement) {
        for (const char f : pairs[j].find) {
          if (SameByte(r, f, fold)) {
            return false;
          }
        }
      }
    }
  }
  return true;
}

// The occurrences of the find texts at character starts, left to right and
// without overlap, from a start position that the scan takes as a character
// start. At each position the first pair that matches and has replacements
// left takes it.
class PairScanner {
 public:
  PairScanner(const unsigned char* s, std::size_t n, std::span<const Pair> pairs, std::size_t start,
              std::size_t limit, bool fold)
      : s_(s), n_(n), pairs_(pairs), limit_(limit), known_(start), from_(start) {
    finders_.reserve(pairs.size());
    for (const Pair& p : pairs) {
      candidates_.Add(p.find, fold);
      finders_.emplace_back(p.find, fold);
    }
  }

  // Finds the next occurrence: sets at and pair and returns true, or returns
  // false when there is none left.
  bool Next(std::size_t& at, std::size_t& pair) {
    while (from_ < n_) {
      const std::size_t c = candidates_.Next(s_, from_, n_);
      if (c >= n_) {
        break;
      }
      std::size_t k = 0;
      while (k < pairs_.size() &&
             !(made_[k] != limit_ && finders_[k].size() <= n_ - c && finders_[k].At(s_ + c))) {
        ++k;
      }
      if (k == pairs_.size()) {
        from_ = c + 1;
      } else if (!IsCharStart(s_, known_, c)) {
        // Whether c starts a character is settled only for a whole occurrence,
        // counting back no further than the last known character start. Here c
        // is a second byte, so the next byte starts a character.
        known_ = from_ = c + 1;
      } else {
        ++made_[k];
        known_ = from_ = c + finders_[k].size();
        at = c;
        pair = k;
        return true;
      }
    }
    from_ = n_;
    return false;
  }

 private:
  const unsigned char* s_;
  std::size_t n_;
  std::span<const Pair> pairs_;
  std::size_t limit_;
  extract::MultiCandidateFinder candidates_;
  std::vector<extract::LiteralFinder> finders_;
  std::size_t made_[extract::MultiCandidateFinder::kMaxLiterals] = {};
  std::size_t known_;  // a character start of the scan at or before from_
  std::size_t from_;   // where the search for the next candidate goes on
};

// Rewrites text with the pairs in one scan: all the pairs at once when
// CanReplaceInOnePass holds, or one pair. Replacements that do not lengthen
// the text are made in place as the scan goes. Replacements that only
// lengthen it are collected first and the text is widened in place from the
// back, in a buffer grown once with room to spare for later pairs. Otherwise
// (a mix, or too many occurrences to keep) the text is rebuilt as the scan goes.
void Rewrite(std::string& text, std::span<const Pair> pairs, std::size_t start, std::size_t limit,
             bool fold) {
  const std::size_t n = text.size();
  if (n == 0 || start >= n || limit == 0) {
    return;
  }
  PairScanner scanner(reinterpret_cast<const unsigned char*>(text.data()), n, pairs, start, limit,
                      fold);
  bool grows = false;    // some replacement is longer than its find text
  bool shrinks = false;  // some replacement is shorter
  for (const Pair& p : pairs) {
    grows = grows || p.replacement.size() > p.find.size();
    shrinks = shrinks || p.replacement.size() < p.find.size();
  }
  std::size_t c = 0;
  std::size_t k = 0;
  if (!scanner.Next(c, k)) {
    return;
  }
  if (!grows) {
    char* d = text.data();
    std::size_t w = c;  // where the next kept byte goes
    std::size_t r = c;  // the next byte of text not yet kept
    do {
      std::memmove(d + w, d + r, c - r);
      w += c - r;
      std::memcpy(d + w, pairs[k].replacement.data(), pairs[k].replacement.size());
      w += pairs[k].replacement.size();
      r = c + pairs[k].find.size();
    } while (scanner.Next(c, k));
    std::memmove(d + w, d + r, n - r);
    text.resize(w + n - r);
    return;
  }
  struct Hit {
    std::size_t at;
    std::size_t pair;
  };
  std::vector<Hit> hits;
  std::size_t grown = n;
  bool more = true;
  // Widening from the back needs room in the text's own buffer, and is safe
  // only when no occurrence shortens the text: every byte then moves right,
  // never over bytes not yet moved. Occurrences are kept up to a bound, so a
  // page made of nothing but find texts costs no more memory than its rewritten
  // form.
  if (!shrinks && text.capacity() > n) {
    const std::size_t keep = std::max<std::size_t>(1024, n / 16);
    do {
      hits.push_back({c, k});
      grown = grown - pairs[k].find.size() + pairs[k].replacement.size();
    } while (hits.size() < keep && (more = scanner.Next(c, k)));
    if (!more && grown <= text.capacity()) {
      text.resize(grown);
      char* d = text.data();
      std::size_t src_end = n;
      std::size_t dst_end = grown;
      for (std::size_t h = hits.size(); h-- > 0;) {
        const Pair& p = pairs[hits[h].pair];
        const std::size_t tail = hits[h].at + p.find.size();
        dst_end -= src_end - tail;
        std::memmove(d + dst_end, d + tail, src_end - tail);
        dst_end -= p.replacement.size();
        std::memcpy(d + dst_end, p.replacement.data(), p.replacement.size());
        src_end = hits[h].at;
      }
      return;
    }
  }
  // Rebuilt into a new buffer, with room to spare for later pairs.
  std::string out;
  out.reserve(std::max(grown, n) + n / 8 + 64);
  std::size_t r = 0;
  const auto take = [&](std::size_t at, std::size_t pair) {
    out.append(text, r, at - r);
    out.append(pairs[pair].replacement);
    r = at + pairs[pair].find.size();
  };
  for (const Hit& hit : hits) {
    take(hit.at, hit.pair);
  }
  if (hits.empty()) {
    take(c, k);
  }
  if (more) {
    while (scanner.Next(c, k)) {
      take(c, k);
    }
  }
  out.append(text, r, std::string::npos);
  text.swap(out);
}

bool IsHexDigit(char16_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char16_t HexValue(char16_t c) {
  if (c >= '0' && c <= '9') {
    return static_cast<char16_t>(c - '0');
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<char16_t>(c - 'a' + 10);
  }
  return static_cast<char16_t>(c - 'A' + 10);
}

// Returns the 1-based-free (zero-based) offset of the first occurrence of
// marker in text at a character start, comparing bytes exactly, or npos. An
// empty marker never occurs.
std::size_t FindAtCharStart(std::string_view text, std::string_view marker) {
  if (marker.empty()) {
    return std::string_view::npos;
  }
  const Pair pair[] = {{marker, {}}};
  PairScanner scanner(reinterpret_cast<const unsigned char*>(text.data()), text.size(), pair, 0,
                      kNone, false);
  std::size_t at = 0;
  std::size_t k = 0;
  return scanner.Next(at, k) ? at : std::string_view::npos;
}

}  // namespace

std::string ReplacePairs(std::string text, const ReplaceOptions& options, std::string_view find1,
                         std::string_view replacement1, std::string_view find2,
                         std::string_view replacement2, std::string_view find3,
                         std::string_view replacement3, std::string_view find4,
                         std::string_view replacement4, std::string_view find5,
                         std::string_view replacement5) {
  const std::int32_t first = options.start.value_or(1);
  const std::size_t start = first <= 0 ? 0 : static_cast<std::size_t>(first) - 1;
  const std::int32_t count = options.count.value_or(-1);
  const bool fold = !options.case_sensitive;
  const Pair all[] = {{find1, replacement1},
                      {find2, replacement2},
                      {find3, replacement3},
                      {find4, replacement4},
                      {find5, replacement5}};
  Pair pairs[5];
  std::size_t used = 0;
  for (const Pair& p : all) {
    if (!p.find.empty()) {  // a pair with an empty find text changes nothing
      pairs[used++] = p;
    }
  }
  if (text.empty() || count == 0 || used == 0) {
    return text;
  }
  const std::span<const Pair> active(pairs, used);
  const std::size_t limit = count < 0 ? kNone : static_cast<std::size_t>(count);
  if (CanReplaceInOnePass(active, fold)) {
    Rewrite(text, active, start, limit, fold);
    return text;
  }
  for (std::size_t k = 0; k < used; ++k) {
    Rewrite(text, active.subspan(k, 1), start, limit, fold);
  }
  return text;
}

std::string ReplacePairs(std::string text, std::string_view find1, std::string_view replacement1,
                         std::string_view find2, std::string_view replacement2,
                         std::string_view find3, std::string_view replacement3) {
  return ReplacePairs(std::move(text), ReplaceOptions{}, find1, replacement1, find2, replacement2,
                      find3, replacement3);
}

std::string TextBetween(std::string_view text, std::string_view start_marker,
                        std::string_view end_marker) {
  const std::size_t p = FindAtCharStart(text, start_marker);
  if (p == std::string_view::npos) {
    return {};
  }
  const std::string_view tail = text.substr(p + start_marker.size());
  const std::size_t q = FindAtCharStart(tail, end_marker);
  if (q == std::string_view::npos) {
    return {};
  }
  return std::string(tail.substr(0, q));
}

std::string ScriptUnescape(std::string_view text) {
  const std::u16string wide = platform::GbkToUtf16(text);
  std::u16string out;
  out.reserve(wide.size());
  const std::size_t n = wide.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = wide[i];
    if (c == u'%') {
      if (i + 5 < n && wide[i + 1] == u'u' && IsHexDigit(wide[i + 2]) && IsHexDigit(wide[i + 3]) &&
          IsHexDigit(wide[i + 4]) && IsHexDigit(wide[i + 5])) {
        out.push_back(static_cast<char16_t>(HexValue(wide[i + 2]) << 12 |
                                            HexValue(wide[i + 3]) << 8 |
                                            HexValue(wide[i + 4]) << 4 | HexValue(wide[i + 5])));
        i += 5;
        continue;
      }
      if (i + 2 < n && IsHexDigit(wide[i + 1]) && IsHexDigit(wide[i + 2])) {
        out.push_back(static_cast<char16_t>(HexValue(wide[i + 1]) << 4 | HexValue(wide[i + 2])));
        i += 2;
        continue;
      }
    }
    out.push_back(c);
  }
  return platform::Utf16ToGbk(out);
}

}  // namespace qvod
