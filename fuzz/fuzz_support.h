// What the fuzz targets share: a check that stops the run with a message, and
// a reader that cuts one fuzz input into the arguments of a call.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// Stops the run (libFuzzer then saves the input) when cond is false.
#define FUZZ_CHECK(cond)                                                                      \
  do {                                                                                        \
    if (!(cond)) {                                                                            \
      std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)

namespace qvod::fuzz {

// Reads an input front to back: single bytes for choices, then texts, each
// preceded by its length byte. A read past the end gives 0 or an empty text.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : data_(reinterpret_cast<const char*>(data), size) {}

  // Returns the next byte, or 0 at the end.
  std::uint8_t Byte() {
    if (data_.empty()) {
      return 0;
    }
    const auto b = static_cast<std::uint8_t>(data_.front());
    data_.remove_prefix(1);
    return b;
  }

  // Returns the lowest bit of the next byte.
  bool Flag() { return (Byte() & 1) != 0; }

  // Returns a text whose length is the next byte modulo (max + 1), cut short at the end.
  std::string Text(std::size_t max) {
    const std::size_t n = std::min<std::size_t>(Byte() % (max + 1), data_.size());
    std::string text(data_.substr(0, n));
    data_.remove_prefix(n);
    return text;
  }

  // Returns everything not yet read.
  std::string Rest() {
    std::string rest(data_);
    data_ = {};
    return rest;
  }

 private:
  std::string_view data_;
};

// Returns true when a byte of 0x80 or above, which starts a double-byte character.
inline bool IsHigh(char c) { return static_cast<unsigned char>(c) >= 0x80; }

inline char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Returns true when what stands in text at pos, byte for byte, or with ASCII
// letters folded when fold is set.
inline bool BytesAt(std::string_view text, std::size_t pos, std::string_view what, bool fold) {
  if (pos > text.size() || text.size() - pos < what.size()) {
    return false;
  }
  for (std::size_t k = 0; k < what.size(); ++k) {
    const char a = text[pos + k];
    const char b = what[k];
    if (fold ? FoldAscii(a) != FoldAscii(b) : a != b) {
      return false;
    }
  }
  return true;
}

// Returns the next character start after pos by the scan rule.
inline std::size_t NextChar(std::string_view text, std::size_t pos) {
  return pos + (IsHigh(text[pos]) ? 2 : 1);
}

}  // namespace qvod::fuzz
