// The split rule (SplitText) and CollectNames.
//  - The pieces rejoined with the delimiter give the text back, or the text
//    without a delimiter at its very end (a text that ends with the delimiter
//    gives no empty last piece); each piece is followed by an occurrence that
//    the scan lands on, and the scan passes over no other occurrence. An empty
//    text gives no pieces, an empty delimiter the whole text.
//  - CollectNames equals a plain reading of its steps over those pieces: the
//    first piece dropped, each later one cut before its first marker at a
//    character start, pieces without the marker or with too long a name
//    skipped, then the affixes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "output/seed_files.h"

namespace {

using qvod::fuzz::BytesAt;
using qvod::fuzz::FuzzInput;
using qvod::fuzz::NextChar;

void CheckSplit(const std::string& text, const std::string& delimiter,
                const std::vector<std::string>& pieces) {
  if (text.empty()) {
    FUZZ_CHECK(pieces.empty());
    return;
  }
  if (delimiter.empty()) {
    FUZZ_CHECK(pieces.size() == 1 && pieces[0] == text);
    return;
  }
  FUZZ_CHECK(!pieces.empty());
  std::size_t at = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::string& piece = pieces[i];
    FUZZ_CHECK(at + piece.size() <= text.size());
    FUZZ_CHECK(text.compare(at, piece.size(), piece) == 0);
    const std::size_t end = at + piece.size();
    std::size_t scan = at;
    while (scan < end && scan + delimiter.size() <= text.size()) {
      FUZZ_CHECK(!BytesAt(text, scan, delimiter, false));
      scan = NextChar(text, scan);
    }
    const bool last = i + 1 == pieces.size();
    if (last && end == text.size()) {
      FUZZ_CHECK(!piece.empty());  // the rest, which is never empty
      break;
    }
    FUZZ_CHECK(scan == end);
    FUZZ_CHECK(BytesAt(text, end, delimiter, false));
    at = end + delimiter.size();
    if (last) {
      FUZZ_CHECK(at == text.size());
    }
  }

  std::string joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    joined += (i == 0 ? "" : delimiter) + pieces[i];
  }
  FUZZ_CHECK(joined == text || joined + delimiter == text);
}

// Returns the first position of what at a character start of text, or npos.
std::size_t Find(std::string_view text, std::string_view what, bool fold) {
  if (what.empty()) {
    return std::string_view::npos;
  }
  for (std::size_t i = 0; i < text.size(); i = NextChar(text, i)) {
    if (BytesAt(text, i, what, fold)) {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t flags = input.Byte();
  std::string delimiter = "|";
  std::string marker = ".";
  if ((flags & 1) != 0) {
    delimiter = input.Text(4);
    marker = input.Text(4);
  }
  const bool case_insensitive = (flags & 2) != 0;
  const bool delimiter_in_front = (flags & 4) != 0;
  const bool marker_behind = (flags & 8) != 0;
  const std::int32_t maximum_length =
      (flags & 16) != 0 ? static_cast<std::int8_t>(input.Byte()) : 0;
  const std::string prefix = (flags & 32) != 0 ? input.Text(4) : std::string();
  const std::string suffix = (flags & 32) != 0 ? input.Text(4) : std::string();
  const std::string text = input.Rest();

  const std::vector<std::string> pieces = qvod::SplitText(text, delimiter);
  CheckSplit(text, delimiter, pieces);
  CheckSplit(text, "\r\n", qvod::SplitText(text, "\r\n"));

  std::vector<std::string> expected;
  for (std::size_t k = 1; k < pieces.size(); ++k) {
    const std::size_t at = Find(pieces[k], marker, case_insensitive);
    if (at == std::string_view::npos ||
        (maximum_length != 0 && static_cast<std::int64_t>(at) > maximum_length)) {
      continue;
    }
    expected.push_back((delimiter_in_front ? delimiter : "") + prefix + pieces[k].substr(0, at) +
                       suffix + (marker_behind ? marker : ""));
  }
  std::vector<std::string> names = {"left over from before"};
  const int count =
      qvod::CollectNames(text, delimiter, marker, names, case_insensitive, maximum_length, prefix,
                         suffix, delimiter_in_front, marker_behind);
  FUZZ_CHECK(names == expected);
  FUZZ_CHECK(count == static_cast<int>(names.size()));
  return 0;
}
