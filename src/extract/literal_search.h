// Fast search for a short literal in a byte string, optionally treating the
// ASCII letters without regard to case. Private to src/extract.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qvod::extract {

inline unsigned char FoldAsciiByte(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

class LiteralFinder {
 public:
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

  // literal must outlive the finder.
  LiteralFinder(std::string_view literal, bool fold)
      : literal_(reinterpret_cast<const unsigned char*>(literal.data())),
        m_(literal.size()),
        fold_(fold) {
    const unsigned char first = m_ > 0 ? literal_[0] : 0;
    const unsigned char second = m_ > 1 ? literal_[1] : 0;
    a_[0] = first;
    a_[1] = fold ? OtherCase(first) : first;
    b_[0] = second;
    b_[1] = fold ? OtherCase(second) : second;
  }

  std::size_t size() const { return m_; }

  // Returns true when the literal occurs at s.
  bool At(const unsigned char* s) const {
    for (std::size_t k = 0; k < m_; ++k) {
      if (s[k] != literal_[k] && !(fold_ && FoldAsciiByte(s[k]) == FoldAsciiByte(literal_[k]))) {
        return false;
      }
    }
    return true;
  }

  // Returns the first position p in [from, end - size] where the literal
  // occurs in s, or kNotFound. An empty literal occurs at from.
  std::size_t Find(const unsigned char* s, std::size_t from, std::size_t end) const {
    if (end < from || end - from < m_) {
      return kNotFound;
    }
    if (m_ == 0) {
      return from;
    }
    const std::size_t last = end - m_;  // the last position where the literal fits
    std::size_t i = from;
    while (i <= last) {
      const std::size_t c = Candidate(s, i, last);
      if (c > last) {
        return kNotFound;
      }
      if (At(s + c)) {
        return c;
      }
      i = c + 1;
    }
    return kNotFound;
  }

 private:
  static unsigned char OtherCase(unsigned char c) {
    if (c >= 'a' && c <= 'z') {
      return static_cast<unsigned char>(c - 'a' + 'A');
    }
    if (c >= 'A' && c <= 'Z') {
      return static_cast<unsigned char>(c - 'A' + 'a');
    }
    return c;
  }

  // Returns the first position in [i, last] whose byte matches the literal's
  // first byte and, for literals of two bytes or more, whose next byte matches
  // its second; last + 1 when there is none. Needs last + m_ <= size of s.
  std::size_t Candidate(const unsigned char* s, std::size_t i, std::size_t last) const {
    const bool pair = m_ >= 2;
#if defined(__SSE2__)
    // Sixteen positions at a time, while all the bytes read lie before last + m_.
    if (last + m_ >= 17) {
      const std::size_t stop = last + m_ - (pair ? 17 : 16);
      const __m128i a0 = _mm_set1_epi8(static_cast<char>(a_[0]));
      const __m128i a1 = _mm_set1_epi8(static_cast<char>(a_[1]));
      const __m128i b0 = _mm_set1_epi8(static_cast<char>(b_[0]));
      const __m128i b1 = _mm_set1_epi8(static_cast<char>(b_[1]));
      for (; i <= stop; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, a0), _mm_cmpeq_epi8(v, a1));
        if (pair) {
          const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
          hit = _mm_and_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(w, b0), _mm_cmpeq_epi8(w, b1)));
        }
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) {
          const std::size_t c =
              i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
          return c <= last ? c : last + 1;
        }
      }
    }
#endif
    for (; i <= last; ++i) {
      if ((s[i] == a_[0] || s[i] == a_[1]) && (!pair || s[i + 1] == b_[0] || s[i + 1] == b_[1])) {
        return i;
      }
    }
    return last + 1;
  }

  const unsigned char* literal_;
  std::size_t m_;
  bool fold_;
  unsigned char a_[2];
  unsigned char b_[2];
};

// Candidates for several literals at once (up to kMaxLiterals): positions
// where any of them could start, judged by its first two bytes as above.
class MultiCandidateFinder {
 public:
  static constexpr std::size_t kMaxLiterals = 5;

  void Add(std::string_view literal, bool fold) {
    Entry& e = entries_[count_++];
    const auto first = static_cast<unsigned char>(literal[0]);
    const auto second = static_cast<unsigned char>(literal.size() > 1 ? literal[1] : 0);
    e.pair = literal.size() > 1;
    e.a[0] = first;
    e.a[1] = fold ? OtherCase(first) : first;
    e.b[0] = second;
    e.b[1] = fold ? OtherCase(second) : second;
  }

  // Returns the first position in [i, n) that may start one of the literals,
  // or n. Calls go left to right over one text: the candidates of the last
  // block of sixteen are kept, so a dense block is tested once.
  std::size_t Next(const unsigned char* s, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
    if (i >= block_ && i < block_ + 16) {
      const unsigned rest = i - block_ == 0 ? mask_ : mask_ & (~0u << (i - block_));
      if (rest != 0) {
        return block_ + static_cast<std::size_t>(__builtin_ctz(rest));
      }
      i = block_ + 16;
    }
    // The number of literals is made a constant, so that the comparison
    // values stay in registers.
    switch (count_) {
      case 1:
        i = Scan<1>(s, i, n);
        break;
      case 2:
        i = Scan<2>(s, i, n);
        break;
      case 3:
        i = Scan<3>(s, i, n);
        break;
      case 4:
        i = Scan<4>(s, i, n);
        break;
      default:
        i = Scan<5>(s, i, n);
        break;
    }
    if (i >= block_ && i < block_ + 16 && mask_ != 0) {
      return i;
    }
#endif
    for (; i < n; ++i) {
      for (std::size_t k = 0; k < count_; ++k) {
        const Entry& e = entries_[k];
        if ((s[i] == e.a[0] || s[i] == e.a[1]) &&
            (!e.pair || (i + 1 < n && (s[i + 1] == e.b[0] || s[i + 1] == e.b[1])))) {
          return i;
        }
      }
    }
    return n;
  }

 private:
#if defined(__SSE2__)
  // Returns the first candidate among the positions tested sixteen at a time,
  // or the position where the bytewise tail begins.
  template <std::size_t N>
  std::size_t Scan(const unsigned char* s, std::size_t i, std::size_t n) {
    if (n < 17) {
      return i;
    }
    __m128i a0[N], a1[N], b0[N], b1[N];
    for (std::size_t k = 0; k < N; ++k) {
      a0[k] = _mm_set1_epi8(static_cast<char>(entries_[k].a[0]));
      a1[k] = _mm_set1_epi8(static_cast<char>(entries_[k].a[1]));
      // A literal of one byte accepts any next byte.
      b0[k] =
          entries_[k].pair ? _mm_set1_epi8(static_cast<char>(entries_[k].b[0])) : _mm_set1_epi8(-1);
      b1[k] =
          entries_[k].pair ? _mm_set1_epi8(static_cast<char>(entries_[k].b[1])) : _mm_set1_epi8(-1);
    }
    for (; i <= n - 17; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
      __m128i any = _mm_setzero_si128();
      for (std::size_t k = 0; k < N; ++k) {
        const __m128i first = _mm_or_si128(_mm_cmpeq_epi8(v, a0[k]), _mm_cmpeq_epi8(v, a1[k]));
        const __m128i second =
            entries_[k].pair ? _mm_or_si128(_mm_cmpeq_epi8(w, b0[k]), _mm_cmpeq_epi8(w, b1[k]))
                             : b0[k];
        any = _mm_or_si128(any, _mm_and_si128(first, second));
      }
      const int mask = _mm_movemask_epi8(any);
      if (mask != 0) {
        block_ = i;
        mask_ = static_cast<unsigned>(mask);
        return i + static_cast<std::size_t>(__builtin_ctz(mask_));
      }
    }
    return i;
  }
#endif

  std::size_t block_ = static_cast<std::size_t>(-1) - 16;  // the block whose candidates are kept
  unsigned mask_ = 0;                                      // one bit per candidate in it

  struct Entry {
    bool pair = false;
    unsigned char a[2] = {};
    unsigned char b[2] = {};
  };

  static unsigned char OtherCase(unsigned char c) {
    if (c >= 'a' && c <= 'z') {
      return static_cast<unsigned char>(c - 'a' + 'A');
    }
    if (c >= 'A' && c <= 'Z') {
      return static_cast<unsigned char>(c - 'A' + 'a');
    }
    return c;
  }

  Entry entries_[kMaxLiterals];
  std::size_t count_ = 0;
};

}  // namespace qvod::extract
