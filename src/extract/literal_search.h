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

}  // namespace qvod::extract
