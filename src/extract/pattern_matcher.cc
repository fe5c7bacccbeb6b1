#include "extract/pattern_matcher.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <variant>

namespace qvod {
namespace {

constexpr char kEngineProgId[] = "VBScript.RegExp";

std::int32_t Truncate(double d) {
  if (!(d == d)) {
    return 0;
  }
  d = std::trunc(d);
  if (d >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (d <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(d);
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

PatternMatcher::~PatternMatcher() {
  last_match_ = LastMatch();
  Engine.Clear();
  Matches.Clear();
  SearchedText.clear();
}

bool PatternMatcher::Search(const std::string& pattern, const std::string& text,
                            bool case_sensitive, bool multiline, bool global) {
  Engine.Clear();
  // The previous results are dropped before the run rather than after it, so
  // that two pages and their converted forms never sit in memory at once;
  // nothing reads them in between.
  last_match_ = LastMatch();
  Matches.Clear();
  SearchedText.clear();
  SearchedText.shrink_to_fit();

  Engine.Create(kEngineProgId);
  Engine.Put("IgnoreCase", !case_sensitive);
  Engine.Put("Multiline", multiline);
  Engine.Put("Global", global);
  Engine.Put("Pattern", pattern);
  // "Execute" is invoked on the engine itself rather than through the slot's
  // helpers: the one copy of the text that SearchedText keeps is made as the
  // argument and moved into SearchedText after the call, so a page is not
  // copied twice.
  automation::Variant args[] = {automation::Variant(text)};
  automation::Variant result;
  automation::ObjectRef collection;
  if (const automation::ObjectRef& engine = Engine.Get();
      engine && engine->Invoke("Execute", automation::CallKind::kMethod, args, result)) {
    result.ToObject(collection);
  }
  Matches.Clear();
  Matches = automation::ObjectSlot(std::move(collection));
  SearchedText = std::move(std::get<std::string>(args[0].value()));
  return !Matches.IsEmpty();
}

std::string PatternMatcher::PatternText() const {
  if (Engine.IsEmpty()) {
    return {};
  }
  return Engine.GetText("Pattern");
}

std::string PatternMatcher::ReplaceAll(const std::string& replacement) const {
  return Engine.CallText("Replace", {SearchedText, replacement});
}

std::int32_t PatternMatcher::MatchCount() const { return Truncate(Matches.GetNumber("Count")); }

std::string PatternMatcher::MatchText(std::int32_t i, std::int32_t* position) const {
  const automation::ObjectSlot& match = ReadMatch(i).match;
  std::string value = match.GetText("Value");
  if (position != nullptr) {
    *position = FindPosition(match.GetNumber("FirstIndex"), value);
  }
  return value;
}

std::string PatternMatcher::SubMatchText(std::int32_t i, std::int32_t j,
                                         std::int32_t* position) const {
  LastMatch& last = ReadMatch(i);
  if (!last.has_groups) {
    last.groups = last.match.GetObject("SubMatches");
    last.has_groups = true;
  }
  const automation::ObjectSlot& match = last.match;
  std::string value = last.groups.GetText("Item", {j - 1});
  if (position != nullptr) {
    *position = FindPosition(match.GetNumber("FirstIndex"), value);
  }
  return value;
}

PatternMatcher::LastMatch& PatternMatcher::ReadMatch(std::int32_t i) const {
  if (last_match_.number != i || i == 0) {
    last_match_ = LastMatch();
    last_match_.match = Matches.GetObject("Item", {i - 1});
    last_match_.number = i;
  }
  return last_match_;
}

std::int32_t PatternMatcher::SubMatchCount() const {
  const automation::ObjectSlot match = Matches.GetObject("Item", {std::int32_t{0}});
  return Truncate(match.GetObject("SubMatches").GetNumber("Count"));
}

// The engine's offset counts characters but is taken as a 1-based byte
// position, so the search starts at or before the match.
std::int32_t PatternMatcher::FindPosition(double first_index, const std::string& found) const {
  constexpr std::int32_t kNotFound = -2;
  const std::int32_t start = Truncate(first_index);
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
  const std::size_t n = SearchedText.size();
  if (from >= n) {
    return kNotFound;
  }
  if (found.empty()) {
    return 0;
  }
  const bool fold = Engine.GetBool("IgnoreCase");
  const std::size_t m = found.size();
  for (std::size_t p = from; p + m <= n;) {
    bool equal = true;
    for (std::size_t k = 0; k < m && equal; ++k) {
      const char a = SearchedText[p + k];
      const char b = found[k];
      equal = fold ? FoldAscii(a) == FoldAscii(b) : a == b;
    }
    if (equal) {
      return p > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())
                 ? kNotFound
                 : static_cast<std::int32_t>(p);
    }
    p += static_cast<unsigned char>(SearchedText[p]) >= 0x80 ? 2 : 1;
  }
  return kNotFound;
}

}  // namespace qvod
