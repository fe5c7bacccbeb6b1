// The text rewriting helpers: find-and-replace pairs, the text between two
// markers, and percent-unescaping. Texts are GBK byte strings; scans step by
// characters (a byte of 0x80 or above and the next byte are one character) and
// recognise an occurrence only where a character begins. All are thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvod {

// The optional arguments of ReplacePairs.
struct ReplaceOptions {
  // The most replacements each pair makes; absent: no limit; negative: no limit.
  std::optional<std::int32_t> count;
  // 1-based byte position where each pair's search begins; absent, 0 or negative: 1.
  std::optional<std::int32_t> start;
  // true: find texts match byte for byte; false: ASCII letters match without regard to case.
  bool case_sensitive = false;
};

// Returns text rewritten by up to five pairs, applied one after the other. A
// pair with an empty find text leaves the text unchanged.
std::string ReplacePairs(std::string text, const ReplaceOptions& options, std::string_view find1,
                         std::string_view replacement1, std::string_view find2 = {},
                         std::string_view replacement2 = {}, std::string_view find3 = {},
                         std::string_view replacement3 = {}, std::string_view find4 = {},
                         std::string_view replacement4 = {}, std::string_view find5 = {},
                         std::string_view replacement5 = {});

// ReplacePairs with the default options (every occurrence, from the first byte,
// ASCII letters without regard to case): the form every caller in the program uses.
std::string ReplacePairs(std::string text, std::string_view find1, std::string_view replacement1,
                         std::string_view find2 = {}, std::string_view replacement2 = {},
                         std::string_view find3 = {}, std::string_view replacement3 = {});

// Returns the text between the first occurrence of start_marker and the next
// occurrence of end_marker after it; empty when either is missing. Markers are
// compared exactly; an empty marker counts as missing.
std::string TextBetween(std::string_view text, std::string_view start_marker,
                        std::string_view end_marker);

// Returns text with its "%XX" and "%uXXXX" escapes decoded as the ECMAScript
// unescape function does, read from and given back in GBK.
std::string ScriptUnescape(std::string_view text);

}  // namespace qvod
