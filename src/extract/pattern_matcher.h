// PatternMatcher: one regular-expression search over a text with a fresh
// "VBScript.RegExp" engine, and the reads of its matches and groups by
// 1-based numbers. Texts are GBK.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "automation/automation.h"

namespace qvod {

class PatternMatcher {
 public:
  PatternMatcher() = default;
  // Copy: shares the engine and the match collection, copies the searched text.
  PatternMatcher(const PatternMatcher&) = default;
  PatternMatcher& operator=(const PatternMatcher&) = default;
  // Destroy: releases the engine, then the match collection, then the text.
  ~PatternMatcher();

  // Runs pattern over text with a new engine. Returns true when the run gave a
  // match collection (also one with no matches); false for a pattern the engine
  // cannot compile or when no engine can be made.
  bool Search(const std::string& pattern, const std::string& text, bool case_sensitive = false,
              bool multiline = true, bool global = true);

  // Returns the engine's current pattern; empty without an engine.
  std::string PatternText() const;

  // Returns the searched text as the engine's "Replace" gives it back with replacement.
  std::string ReplaceAll(const std::string& replacement) const;

  // Returns the number of matches of the last search; 0 without a match collection.
  std::int32_t MatchCount() const;

  // Returns the text of match i (1-based), or an empty text. When position is
  // given it receives the zero-based byte offset of the text in the searched
  // text, found from the match's "FirstIndex" on; -2 when not found.
  std::string MatchText(std::int32_t i, std::int32_t* position = nullptr) const;

  // Returns the text of group j of match i (both 1-based), or an empty text. The
  // position is found from the whole match's "FirstIndex", as for MatchText.
  std::string SubMatchText(std::int32_t i, std::int32_t j, std::int32_t* position = nullptr) const;

  // Returns the number of groups in the first match; 0 without a match.
  std::int32_t SubMatchCount() const;

 private:
  std::int32_t FindPosition(double first_index, const std::string& found) const;

  // The match read last and its group collection. A channel reads three groups
  // of one match in a row; the second and third reads use the objects of the
  // first. Cleared by every search, so it always belongs to Matches.
  struct LastMatch {
    std::int32_t number = 0;  // 0: none
    automation::ObjectSlot match;
    automation::ObjectSlot groups;
    bool has_groups = false;
  };
  LastMatch& ReadMatch(std::int32_t i) const;

  automation::ObjectSlot Engine;
  automation::ObjectSlot Matches;
  std::string SearchedText;
  mutable LastMatch last_match_;
};

}  // namespace qvod
