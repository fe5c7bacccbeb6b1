#include "platform/codepage.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qvod::platform {
namespace {

constexpr unsigned kLeadFirst = 0x81;
constexpr unsigned kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailLast = 0xFE;
constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;

// Base letters for U+00C0..U+024F; '\0' where none is defined.
constexpr char kLatinBase[] =
    "AAAAAAACEEEEIIIIDNOOOOO\0OUUUUYTs"
    "aaaaaaaceeeeiiiidnooooo\0ouuuuyty"
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIiIi\0\0JjKk\0LlLlLl\0"
    "\0LlNnNnNn\0\0\0OoOoOoOoRrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUuUuUuWwYyYZzZzZz\0"
    "b\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0I\0\0\0\0\0\0\0\0"
    "Oo\0\0\0\0\0\0\0\0\0\0\0\0\0Uu\0\0\0\0Zz\0\0\0\0\0\0\0\0\0"
    "\0\0\0\0\0\0\0\0\0\0\0\0\0AaIiOoUuUuUuUuUu\0Aa"
    "Aa\0\0\0\0GgKkOoOo\0\0j\0\0\0Gg\0\0NnAa\0\0\0\0"
    "AaAaEeEeIiIiOoOoRrRrUuUuSsTt\0\0Hh"
    "\0\0\0\0\0\0AaEeOoOoOoOoYy\0\0\0\0\0\0\0\0\0\0\0\0"
    "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0";
static_assert(sizeof(kLatinBase) - 1 == 0x250 - 0xC0);

// kCp936Single and kCp936Pair, made at build time from iconv's CP936 tables
// (cp936_table_gen.cc), so that no converter is loaded and no table is built
// from single conversions at start-up.
#include "cp936_tables.inc"

static_assert(sizeof(kCp936Single) / sizeof(kCp936Single[0]) == 128);
constexpr unsigned kPairCount = (kLeadLast - kLeadFirst + 1) * kTrailCount;
static_assert(sizeof(kCp936Pair) / sizeof(kCp936Pair[0]) == kPairCount);

struct Tables {
  // Code point of each single byte 0x80..0xFF; 0 when the byte alone is no character.
  const char16_t* single = kCp936Single;
  // Code point of each double-byte character; 0 when the pair is no character.
  const char16_t* pair = kCp936Pair;
  // GBK bytes of each BMP code point: 0 for none, else (lead << 8 | trail), or a
  // single byte as 0x00NN with encodes_single set.
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(0x10000);
  std::vector<bool> encodes_single = std::vector<bool>(0x10000);
  // One bit per entry of pair, set where the pair is a character: 3 KiB that
  // stay in the cache while long texts are measured.
  std::array<std::uint64_t, (kPairCount + 63) / 64> pair_bits{};
};

// The generated tables are exactly invertible (every code point they give
// comes from one byte sequence only), so the encoding table is their inverse.
std::unique_ptr<Tables> BuildTables() {
  auto t = std::make_unique<Tables>();
  for (unsigned b = 0; b < 0x80; ++b) {
    t->encode[b] = static_cast<std::uint16_t>(b);
    t->encodes_single[b] = true;
  }
  for (unsigned b = 0x80; b <= 0xFF; ++b) {
    if (const char16_t u = t->single[b - 0x80]; u != 0) {
      t->encode[u] = static_cast<std::uint16_t>(b);
      t->encodes_single[u] = true;
    }
  }
  for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
    for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
      const unsigned index = (lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst);
      if (const char16_t u = t->pair[index]; u != 0) {
        t->encode[u] = static_cast<std::uint16_t>(lead << 8 | trail);
        t->pair_bits[index / 64] |= std::uint64_t{1} << (index % 64);
      }
    }
  }
  return t;
}

const Tables& GetTables() {
  static const std::unique_ptr<Tables> tables = BuildTables();
  return *tables;
}

// Decodes one character at s[i] (i < n); returns its code point and sets len.
inline char32_t DecodeAt(const Tables& t, const unsigned char* s, std::size_t n, std::size_t i,
                         std::size_t& len) {
  const unsigned char c = s[i];
  if (c < 0x80) {
    len = 1;
    return c;
  }
  if (c >= kLeadFirst && c <= kLeadLast && i + 1 < n) {
    const unsigned char d = s[i + 1];
    if (d >= kTrailFirst && d <= kTrailLast) {
      const char16_t u = t.pair[(c - kLeadFirst) * kTrailCount + (d - kTrailFirst)];
      if (u != 0) {
        len = 2;
        return u;
      }
    }
  }
  len = 1;
  const char16_t u = t.single[c - 0x80];
  return u != 0 ? char32_t{u} : kStrayByteBase + c;
}

inline std::size_t AsciiRun(const unsigned char* s, std::size_t n, std::size_t i) {
  std::size_t j = i;
  while (j + 8 <= n) {
    std::uint64_t w;
    std::memcpy(&w, s + j, 8);
    if ((w & 0x8080808080808080ULL) != 0) {
      break;
    }
    j += 8;
  }
  while (j < n && s[j] < 0x80) {
    ++j;
  }
  return j;
}

// Appends the GBK bytes of code point u.
inline void EncodeTo(const Tables& t, char32_t u, std::string& out) {
  if (u < 0x80) {
    out.push_back(static_cast<char>(u));
    return;
  }
  if (u >= kStrayByteBase + 0x80 && u <= kStrayByteBase + 0xFF) {
    out.push_back(static_cast<char>(u - kStrayByteBase));
    return;
  }
  if (u < 0x10000 && !(u >= 0xD800 && u <= 0xDFFF)) {
    const std::uint16_t code = t.encode[u];
    if (t.encodes_single[u]) {
      out.push_back(static_cast<char>(code));
      return;
    }
    if (code != 0) {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
      return;
    }
    if (u >= 0xC0 && u < 0x250 && kLatinBase[u - 0xC0] != '\0') {
      out.push_back(kLatinBase[u - 0xC0]);
      return;
    }
  }
  out.push_back('?');
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
  const Tables& t = GetTables();
  const auto* s = reinterpret_cast<const unsigned char*>(gbk.data());
  const std::size_t n = gbk.size();
  std::u16string out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const std::size_t j = AsciiRun(s, n, i);
    for (; i < j; ++i) {
      out.push_back(static_cast<char16_t>(s[i]));
    }
    if (i == n) {
      break;
    }
    std::size_t len;
    const char32_t u = DecodeAt(t, s, n, i, len);
    if (u >= 0x10000) {
      const char32_t v = u - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(u));
    }
    i += len;
  }
  return out;
}

std::string Utf16ToGbk(std::u16string_view text) {
  const Tables& t = GetTables();
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    EncodeTo(t, u, out);
  }
  return out;
}

std::string GbkToUtf8(std::string_view gbk) {
  const Tables& t = GetTables();
  const auto* s = reinterpret_cast<const unsigned char*>(gbk.data());
  const std::size_t n = gbk.size();
  std::string out;
  out.reserve(n + n / 2);
  // The input goes through in blocks: each block is encoded into a small buffer
  // with plain stores (a byte never gives more than four), then appended whole.
  constexpr std::size_t kBlock = 16 * 1024;
  std::unique_ptr<char[]> buffer(new char[kBlock * 4 + 8]);
  std::size_t i = 0;
  while (i < n) {
    const std::size_t block_end = n - i > kBlock ? i + kBlock : n;
    char* w = buffer.get();
    while (i < block_end) {
      if (s[i] < 0x80) {
        // ASCII runs move eight bytes at a time.
        while (i + 8 <= block_end) {
          std::uint64_t word;
          std::memcpy(&word, s + i, 8);
          if ((word & 0x8080808080808080ULL) != 0) {
            break;
          }
          std::memcpy(w, &word, 8);
          w += 8;
          i += 8;
        }
        while (i < block_end && s[i] < 0x80) {
          *w++ = static_cast<char>(s[i++]);
        }
        continue;
      }
      std::size_t len;
      const char32_t u = DecodeAt(t, s, n, i, len);
      if (u < 0x800) {
        w[0] = static_cast<char>(0xC0 | (u >> 6));
        w[1] = static_cast<char>(0x80 | (u & 0x3F));
        w += 2;
      } else if (u < 0x10000) {
        w[0] = static_cast<char>(0xE0 | (u >> 12));
        w[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        w[2] = static_cast<char>(0x80 | (u & 0x3F));
        w += 3;
      } else {
        w[0] = static_cast<char>(0xF0 | (u >> 18));
        w[1] = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        w[2] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        w[3] = static_cast<char>(0x80 | (u & 0x3F));
        w += 4;
      }
      i += len;  // a pair may reach one byte past the block; the next block starts after it
    }
    out.append(buffer.get(), static_cast<std::size_t>(w - buffer.get()));
  }
  return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
  const Tables& t = GetTables();
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  std::string out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const std::size_t j = AsciiRun(s, n, i);
    out.append(utf8.data() + i, j - i);
    i = j;
    if (i == n) {
      break;
    }
    const unsigned char c = s[i];
    std::size_t len = 0;
    char32_t u = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      u = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      u = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      u = c & 0x07;
    }
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) {
        ok = false;
      } else {
        u = (u << 6) | (s[i + k] & 0x3F);
      }
    }
    if (ok && ((len == 3 && u < 0x800) || (len == 4 && (u < 0x10000 || u > 0x10FFFF)))) {
      ok = false;  // overlong or out of range
    }
    if (!ok) {
      out.push_back('?');
      ++i;
      continue;
    }
    EncodeTo(t, u, out);
    i += len;
  }
  return out;
}

std::size_t Utf16Length(std::string_view gbk) {
  std::size_t end = 0;
  return Utf16LengthUpTo(gbk, 0, gbk.size(), end);
}

std::size_t Utf16LengthUpTo(std::string_view gbk, std::size_t from, std::size_t to,
                            std::size_t& end) {
  const Tables& t = GetTables();
  const auto* s = reinterpret_cast<const unsigned char*>(gbk.data());
  const std::size_t n = gbk.size();
  // Every character is one unit, so the units are the bytes passed less one
  // for each double-byte character.
  std::size_t pairs = 0;
  std::size_t i = from;
  while (i < to) {
    // ASCII is passed sixteen bytes at a time, up to the next byte of 0x80 or above.
#if defined(__SSE2__)
    while (i + 16 <= to) {
      const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
      if (high != 0) {
        i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
        break;
      }
      i += 16;
    }
#endif
    while (i < to && s[i] < 0x80) {
      ++i;
    }
    // Then a run of characters that begin with such bytes.
    while (i < to && s[i] >= 0x80) {
      const unsigned char c = s[i];
      if (c >= kLeadFirst && c <= kLeadLast && i + 1 < n) {
        // As DecodeAt: the second byte may lie past to, the pair still counts.
        const unsigned char d = s[i + 1];
        if (d >= kTrailFirst && d <= kTrailLast) {
          const unsigned index = (c - kLeadFirst) * kTrailCount + (d - kTrailFirst);
          if ((t.pair_bits[index / 64] >> (index % 64) & 1) != 0) {
            ++pairs;
            i += 2;
            continue;
          }
        }
      }
      ++i;
    }
  }
  end = i;
  return i - from - pairs;
}

}  // namespace qvod::platform
