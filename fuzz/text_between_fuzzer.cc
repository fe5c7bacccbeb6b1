// TextBetween: the result is a substring of the text; when it is not empty the
// text holds start marker, result, end marker in a row; and it equals a plain
// reading of the rule: the first occurrence of the start marker at a character
// start, then the first occurrence of the end marker at a character start of
// the rest (read from its own first byte).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extract/text_helpers.h"
#include "fuzz_support.h"

namespace {

using qvod::fuzz::BytesAt;
using qvod::fuzz::FuzzInput;
using qvod::fuzz::NextChar;

// Returns the first position of what at a character start of text, or npos.
std::size_t Find(std::string_view text, std::string_view what) {
  if (what.empty()) {
    return std::string_view::npos;
  }
  for (std::size_t i = 0; i + what.size() <= text.size(); i = NextChar(text, i)) {
    if (BytesAt(text, i, what, false)) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::string Expected(std::string_view text, std::string_view a, std::string_view b) {
  const std::size_t p = Find(text, a);
  if (p == std::string_view::npos) {
    return {};
  }
  const std::string_view tail = text.substr(p + a.size());
  const std::size_t q = Find(tail, b);
  return q == std::string_view::npos ? std::string() : std::string(tail.substr(0, q));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::string start_marker = input.Text(12);
  const std::string end_marker = input.Text(12);
  const std::string text = input.Rest();

  const std::string result = qvod::TextBetween(text, start_marker, end_marker);
  FUZZ_CHECK(text.find(result) != std::string::npos);
  if (!result.empty()) {
    FUZZ_CHECK(text.find(start_marker + result + end_marker) != std::string::npos);
  }
  FUZZ_CHECK(result == Expected(text, start_marker, end_marker));
  return 0;
}
