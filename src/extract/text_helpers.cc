#include "extract/text_helpers.h"

#include <algorithm>
#include <cstring>
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

// The occurrences of a find text at character starts, left to right and
// without overlap, from a start position that the scan takes as a character start.
class Occurrences {
 public:
  Occurrences(const unsigned char* s, std::size_t n, std::string_view find, std::size_t start,
              bool fold)
      : s_(s), n_(n), finder_(find, fold), known_(start), from_(start) {}

  // Returns the position of the next occurrence, or kNone. The scan goes on
  // after the occurrence.
  std::size_t Next() {
    while (from_ != kNone) {
      const std::size_t c = finder_.Find(s_, from_, n_);
      if (c == kNone) {
        break;
      }
      // Whether c starts a character is settled only for a whole occurrence,
      // counting back no further than the last known character start.
      if (!IsCharStart(s_, known_, c)) {
        known_ = from_ = c + 1;  // c is a second byte, so the next byte starts a character
      } else {
        known_ = from_ = c + finder_.size();
        return c;
      }
    }
    from_ = kNone;
    return kNone;
  }

 private:
  const unsigned char* s_;
  std::size_t n_;
  extract::LiteralFinder finder_;
  std::size_t known_;  // a character start of the scan at or before from_
  std::size_t from_;   // where the search for the next candidate goes on
};

// Replacements that do not lengthen the text are made in place, moving the
// bytes between occurrences down as the scan goes.
void ShrinkInPlace(std::string& text, Occurrences& occurrences, std::size_t m,
                   std::string_view replacement, std::size_t limit) {
  char* d = text.data();
  const std::size_t n = text.size();
  std::size_t c = occurrences.Next();
  if (c == kNone) {
    return;
  }
  std::size_t w = c;  // where the next kept byte goes
  std::size_t r = c;  // the next byte of text not yet kept
  for (std::size_t made = 0; c != kNone;) {
    std::memmove(d + w, d + r, c - r);
    w += c - r;
    std::memcpy(d + w, replacement.data(), replacement.size());
    w += replacement.size();
    r = c + m;
    if (++made == limit) {
      break;
    }
    c = occurrences.Next();
  }
  std::memmove(d + w, d + r, n - r);
  text.resize(w + n - r);
}

// Replacements that lengthen the text: the occurrences are collected first,
// then the text is widened in place from the back when its buffer has room, or
// rebuilt once into a new buffer with room for later pairs.
void GrowText(std::string& text, Occurrences& occurrences, std::size_t m,
              std::string_view replacement, std::size_t limit) {
  // Positions are kept up to a bound, so a page made of nothing but the find
  // text costs no more memory than its rewritten form.
  const std::size_t keep = std::max<std::size_t>(1024, text.size() / 16);
  std::vector<std::size_t> found;
  std::size_t c = kNone;
  while (found.size() < limit && found.size() < keep && (c = occurrences.Next()) != kNone) {
    found.push_back(c);
  }
  if (found.empty()) {
    return;
  }
  const bool complete = found.size() == limit || c == kNone;
  const std::size_t n = text.size();
  const std::size_t grown = n + found.size() * (replacement.size() - m);
  if (complete && grown <= text.capacity()) {
    text.resize(grown);
    char* d = text.data();
    std::size_t src_end = n;
    std::size_t dst_end = grown;
    for (std::size_t k = found.size(); k-- > 0;) {
      const std::size_t gap = src_end - (found[k] + m);
      dst_end -= gap;
      std::memmove(d + dst_end, d + found[k] + m, gap);
      dst_end -= replacement.size();
      std::memcpy(d + dst_end, replacement.data(), replacement.size());
      src_end = found[k];
    }
    return;
  }
  std::string out;
  out.reserve(grown + grown / 8 + 64);
  std::size_t r = 0;
  std::size_t made = 0;
  const auto take = [&](std::size_t at) {
    out.append(text, r, at - r);
    out.append(replacement);
    r = at + m;
    ++made;
  };
  for (const std::size_t at : found) {
    take(at);
  }
  if (!complete) {
    while (made < limit && (c = occurrences.Next()) != kNone) {
      take(c);
    }
  }
  out.append(text, r, std::string::npos);
  text.swap(out);
}

// Applies one pair to text, as the replace operation of ReplacePairs describes.
void ReplaceOne(std::string& text, std::string_view find, std::string_view replacement,
                std::size_t start, std::int32_t count, bool fold) {
  const std::size_t n = text.size();
  const std::size_t m = find.size();
  if (n == 0 || m == 0 || start >= n || count == 0 || m > n - start) {
    return;
  }
  const std::size_t limit = count < 0 ? kNone : static_cast<std::size_t>(count);
  Occurrences occurrences(reinterpret_cast<const unsigned char*>(text.data()), n, find, start,
                          fold);
  if (replacement.size() <= m) {
    ShrinkInPlace(text, occurrences, m, replacement, limit);
  } else {
    GrowText(text, occurrences, m, replacement, limit);
  }
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
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  Occurrences occurrences(s, text.size(), marker, 0, false);
  const std::size_t c = occurrences.Next();
  return c == kNone ? std::string_view::npos : c;
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
  const std::string_view pairs[5][2] = {{find1, replacement1},
                                        {find2, replacement2},
                                        {find3, replacement3},
                                        {find4, replacement4},
                                        {find5, replacement5}};
  for (const auto& pair : pairs) {
    ReplaceOne(text, pair[0], pair[1], start, count, fold);
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
