// qvod-scramble: a developer tool that prints a stored scrambled text for a
// plain text, as a C++ string literal of GBK bytes. Two-fold descrambling of
// its output with an empty password gives the plain text back.
//
//   qvod-scramble LENGTH PLAIN_TEXT_IN_UTF8
//
// Not needed to build the program; scrambled_texts.cc holds its output.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "descramble/descramble.h"
#include "platform/codepage.h"

namespace {

// Fixed-seed filler bytes, printable ASCII without "*", so that the output is
// the same on every run and no filler can be read as a password marker.
class Filler {
 public:
  char Next() {
    for (;;) {
      state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
      const auto c = static_cast<char>(0x21 + (state_ >> 33) % 94);
      if (c != '*') {
        return c;
      }
    }
  }

 private:
  std::uint64_t state_ = 0x71766F64;
};

// Returns the text whose odd-position and riffle passes give joined exactly,
// length bytes long (length must be 2 * joined.size() - 1 or 2 * joined.size()).
std::string Unriffle(std::string_view joined, std::size_t length, Filler& filler) {
  const std::size_t m = joined.size();
  const std::size_t h = m / 2;
  std::string kept(m, '\0');
  for (std::size_t j = 0; j < h; ++j) {
    kept[j] = joined[2 * j];
    kept[h + j] = joined[2 * j + 1];
  }
  if (m % 2 == 1) {
    kept[m - 1] = joined[m - 1];
  }
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    text.push_back(i % 2 == 0 ? kept[i / 2] : filler.Next());
  }
  return text;
}

// Returns a scrambled form of plain of exactly length bytes, or nothing when
// plain is too long for it. The inner stage fills its joined text exactly; the
// outer stage pads its joined text with "*" and spaces, a suffix that trims to
// the empty password.
std::optional<std::string> Scramble(std::string_view plain, std::size_t length) {
  Filler filler;
  const std::size_t p = plain.size();
  const std::size_t m1 = (length + 1) / 2;
  if (p == 0 || length < 4) {
    return std::nullopt;
  }
  std::string inner;
  std::string outer_joined;
  if (m1 == 2 * p - 1 || m1 == 2 * p) {
    inner = Unriffle(plain, m1, filler);
    outer_joined = inner;
  } else if (m1 >= 2 * p + 1) {
    // An even inner length ends on a filler byte, which is ASCII, so the
    // character scan cannot step over the "*" that follows.
    inner = Unriffle(plain, 2 * p, filler);
    outer_joined = inner + "*" + std::string(m1 - inner.size() - 1, ' ');
  } else {
    return std::nullopt;
  }
  return Unriffle(outer_joined, length, filler);
}

std::string Literal(std::string_view bytes) {
  std::string out = "\"";
  std::size_t column = 0;
  for (const char c : bytes) {
    if (column == 16) {
      out += "\"\n    \"";
      column = 0;
    }
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
    out += escape;
    ++column;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qvod-scramble LENGTH PLAIN_TEXT_IN_UTF8\n");
    return 2;
  }
  const std::size_t length = std::strtoul(argv[1], nullptr, 10);
  const std::string plain = qvod::platform::Utf8ToGbk(argv[2]);
  if (plain.find('*') != std::string::npos) {
    std::fprintf(stderr, "qvod-scramble: the plain text must not hold \"*\"\n");
    return 1;
  }
  const std::optional<std::string> scrambled = Scramble(plain, length);
  if (!scrambled) {
    std::fprintf(stderr, "qvod-scramble: %zu bytes of plain text do not fit in %zu bytes\n",
                 plain.size(), length);
    return 1;
  }
  if (qvod::Descramble(qvod::Descramble(*scrambled, {}), {}) != plain) {
    std::fprintf(stderr, "qvod-scramble: the round trip failed\n");
    return 1;
  }
  std::printf("%s\n", Literal(*scrambled).c_str());
  return 0;
}
