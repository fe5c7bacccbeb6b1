#include "extract/text_helpers.h"

#include <cstring>

#include "platform/codepage.h"

namespace qvod {
namespace {

unsigned char FoldAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool IsHigh(unsigned char c) { return c >= 0x80; }

// Finds the next byte equal to `first` (either case of it when it is an ASCII
// letter and case is ignored) with memchr, remembering each case's next hit so
// that every byte is looked at once over the whole scan.
class FirstByteFinder {
 public:
  FirstByteFinder(const unsigned char* s, std::size_t n, unsigned char first, bool fold)
      : s_(s), n_(n) {
    a_ = first;
    b_ = first;
    if (fold && first >= 'a' && first <= 'z') {
      b_ = static_cast<unsigned char>(first - 'a' + 'A');
    } else if (fold && first >= 'A' && first <= 'Z') {
      b_ = static_cast<unsigned char>(first - 'A' + 'a');
    }
  }

  // Returns the first position >= from holding the byte, or n.
  std::size_t Next(std::size_t from) {
    if (next_a_ < from || next_a_ == kUnknown) {
      next_a_ = Scan(a_, from);
    }
    if (a_ == b_) {
      return next_a_;
    }
    if (next_b_ < from || next_b_ == kUnknown) {
      next_b_ = Scan(b_, from);
    }
    return next_a_ < next_b_ ? next_a_ : next_b_;
  }

 private:
  static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);

  std::size_t Scan(unsigned char c, std::size_t from) const {
    if (from >= n_) {
      return n_;
    }
    const void* hit = std::memchr(s_ + from, c, n_ - from);
    return hit == nullptr ? n_ : static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - s_);
  }

  const unsigned char* s_;
  std::size_t n_;
  unsigned char a_;
  unsigned char b_;
  std::size_t next_a_ = kUnknown;
  std::size_t next_b_ = kUnknown;
};

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

bool EqualAt(const unsigned char* s, std::string_view find, bool fold) {
  const auto* f = reinterpret_cast<const unsigned char*>(find.data());
  if (!fold) {
    return std::memcmp(s, f, find.size()) == 0;
  }
  for (std::size_t k = 0; k < find.size(); ++k) {
    if (FoldAscii(s[k]) != FoldAscii(f[k])) {
      return false;
    }
  }
  return true;
}

// One pair over text. Returns false (and leaves out untouched) when nothing
// was replaced, so the caller can keep text as it is.
bool ReplaceOne(const std::string& text, std::string_view find, std::string_view replacement,
                std::size_t start, std::int32_t count, bool fold, std::string& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  const std::size_t m = find.size();
  if (n == 0 || m == 0 || start >= n || count == 0 || m > n - start) {
    return false;
  }
  FirstByteFinder finder(s, n, static_cast<unsigned char>(find[0]), fold);
  const std::size_t last = n - m;  // the last position where find still fits
  std::size_t known = start;       // a character start of the scan
  std::size_t copied = 0;          // bytes of text already in out
  std::int32_t made = 0;
  bool any = false;
  while (known <= last) {
    const std::size_t c = finder.Next(known);
    if (c > last) {
      break;
    }
    if (!IsCharStart(s, known, c)) {
      known = c + 1;  // c is a second byte, so the next byte starts a character
      continue;
    }
    if (!EqualAt(s + c, find, fold)) {
      known = c + (IsHigh(s[c]) ? 2 : 1);
      continue;
    }
    if (!any) {
      out.clear();
      out.reserve(n + (replacement.size() > m ? n / 8 : 0));
      any = true;
    }
    out.append(text, copied, c - copied);
    out.append(replacement);
    copied = c + m;
    known = c + m;
    if (count > 0 && ++made == count) {
      break;
    }
  }
  if (!any) {
    return false;
  }
  out.append(text, copied, std::string::npos);
  return true;
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
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  const std::size_t m = marker.size();
  if (m == 0 || m > n) {
    return std::string_view::npos;
  }
  FirstByteFinder finder(s, n, static_cast<unsigned char>(marker[0]), false);
  std::size_t known = 0;
  while (known <= n - m) {
    const std::size_t c = finder.Next(known);
    if (c > n - m) {
      break;
    }
    if (!IsCharStart(s, known, c)) {
      known = c + 1;
    } else if (std::memcmp(s + c, marker.data(), m) == 0) {
      return c;
    } else {
      known = c + (IsHigh(s[c]) ? 2 : 1);
    }
  }
  return std::string_view::npos;
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
  std::string scratch;
  for (const auto& pair : pairs) {
    if (ReplaceOne(text, pair[0], pair[1], start, count, fold, scratch)) {
      text.swap(scratch);
    }
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
