// ReplacePairs. The property checked is the replace operation's own contract,
// which decides the output completely:
//  - the output is the input with some occurrences of the find text replaced,
//    and the stretches between them copied unchanged;
//  - each replaced occurrence matches the find text (bytes exactly, or ASCII
//    letters folded when case is ignored) and begins where the scan stands:
//    at the start position, or right after the previous occurrence, stepping
//    one character (two bytes from a byte of 0x80 or above) at a time;
//  - in each stretch the scan passes over no occurrence, unless the count
//    stopped it; so the output holds no find text at a character start of a
//    copied stretch that the scan would have taken;
//  - the replacement is never scanned again.
// The stretches are found by replacing with one byte that the input does not
// hold; the output with the real replacement must be those stretches joined by
// it. Also: a find text equal to its replacement leaves the text unchanged
// when case counts, and unchanged but for ASCII letter case when it does not;
// several pairs are the single pairs applied one after the other.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "extract/text_helpers.h"
#include "fuzz_support.h"

namespace {

using qvod::ReplaceOptions;
using qvod::ReplacePairs;
using qvod::fuzz::BytesAt;
using qvod::fuzz::FoldAscii;
using qvod::fuzz::FuzzInput;
using qvod::fuzz::NextChar;

std::vector<std::string> SplitAtByte(const std::string& text, char marker) {
  std::vector<std::string> pieces(1);
  for (const char c : text) {
    if (c == marker) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(c);
    }
  }
  return pieces;
}

std::string Folded(std::string text) {
  for (char& c : text) {
    c = FoldAscii(c);
  }
  return text;
}

void CheckOnePair(const std::string& text, const std::string& find, const std::string& replacement,
                  const ReplaceOptions& options) {
  bool present[256] = {};
  for (const char c : text) {
    present[static_cast<unsigned char>(c)] = true;
  }
  int marker = 0;
  while (marker < 256 && present[marker]) {
    ++marker;
  }
  if (marker == 256) {
    return;
  }
  const char mark = static_cast<char>(marker);
  const std::string marked = ReplacePairs(text, options, find, std::string(1, mark));
  const std::int32_t start_arg = options.start.value_or(1);
  const std::size_t start = start_arg <= 0 ? 0 : static_cast<std::size_t>(start_arg) - 1;
  const std::int32_t count = options.count.value_or(-1);
  const bool fold = !options.case_sensitive;
  if (text.empty() || find.empty() || start >= text.size() || count == 0) {
    FUZZ_CHECK(marked == text);
    FUZZ_CHECK(ReplacePairs(text, options, find, replacement) == text);
    return;
  }

  const std::vector<std::string> stretches = SplitAtByte(marked, mark);
  const std::size_t replaced = stretches.size() - 1;
  FUZZ_CHECK(count < 0 || replaced <= static_cast<std::size_t>(count));
  std::size_t at = 0;  // where the current stretch begins in text
  for (std::size_t i = 0; i <= replaced; ++i) {
    const std::string& stretch = stretches[i];
    FUZZ_CHECK(at + stretch.size() <= text.size());
    FUZZ_CHECK(text.compare(at, stretch.size(), stretch) == 0);
    const std::size_t end = at + stretch.size();
    const bool stopped_by_count =
        i == replaced && count > 0 && replaced == static_cast<std::size_t>(count);
    std::size_t scan = i == 0 ? start : at;
    if (!stopped_by_count) {
      while (scan < end && scan + find.size() <= text.size()) {
        FUZZ_CHECK(!BytesAt(text, scan, find, fold));
        scan = NextChar(text, scan);
      }
    }
    if (i < replaced) {
      FUZZ_CHECK(scan == end);
      FUZZ_CHECK(BytesAt(text, end, find, fold));
      at = end + find.size();
    } else {
      FUZZ_CHECK(end == text.size());
    }
  }

  std::string expected = stretches[0];
  for (std::size_t i = 1; i < stretches.size(); ++i) {
    expected += replacement;
    expected += stretches[i];
  }
  FUZZ_CHECK(ReplacePairs(text, options, find, replacement) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t flags = input.Byte();
  ReplaceOptions options;
  options.case_sensitive = (flags & 1) != 0;
  if ((flags & 2) != 0) {
    options.count = static_cast<std::int8_t>(input.Byte());
  }
  if ((flags & 4) != 0) {
    options.start = static_cast<std::int8_t>(input.Byte());
  }
  const std::size_t pair_count = 1 + (flags >> 3) % 5;
  std::string finds[5];
  std::string replacements[5];
  for (std::size_t k = 0; k < pair_count; ++k) {
    finds[k] = input.Text(8);
    replacements[k] = input.Text(12);
  }
  const std::string text = input.Rest();

  CheckOnePair(text, finds[0], replacements[0], options);

  // A find text that is its own replacement.
  ReplaceOptions exact = options;
  exact.case_sensitive = true;
  FUZZ_CHECK(ReplacePairs(text, exact, finds[0], finds[0]) == text);
  ReplaceOptions folding = options;
  folding.case_sensitive = false;
  const std::string same = ReplacePairs(text, folding, finds[0], finds[0]);
  FUZZ_CHECK(same.size() == text.size() && Folded(same) == Folded(text));

  // Several pairs: each rewrites the result of the one before.
  std::string step = text;
  for (std::size_t k = 0; k < pair_count; ++k) {
    step = ReplacePairs(step, options, finds[k], replacements[k]);
  }
  FUZZ_CHECK(ReplacePairs(text, options, finds[0], replacements[0], finds[1], replacements[1],
                          finds[2], replacements[2], finds[3], replacements[3], finds[4],
                          replacements[4]) == step);
  FUZZ_CHECK(ReplacePairs(text, finds[0], replacements[0], finds[1], replacements[1], finds[2],
                          replacements[2]) ==
             ReplacePairs(text, ReplaceOptions{}, finds[0], replacements[0], finds[1],
                          replacements[1], finds[2], replacements[2]));
  return 0;
}
