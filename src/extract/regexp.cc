#include "extract/regexp.h"

#include <re2/re2.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/automation.h"
#include "extract/literal_search.h"
#include "platform/codepage.h"

namespace qvod {
namespace {

using automation::CallKind;
using automation::MemberIs;
using automation::Object;
using automation::ObjectRef;
using automation::Variant;

// Offsets into the converted text are 32-bit; a text of 4 GiB or more is
// refused ("Execute" fails) rather than miscounted.
using Offset = std::uint32_t;
constexpr Offset kNoGroup = std::numeric_limits<Offset>::max();
constexpr std::size_t kMaxText = kNoGroup - 1;

// A byte range of the converted text; begin == kNoGroup for a group that took no part.
struct Span {
  Offset begin = kNoGroup;
  Offset end = kNoGroup;
};

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of the UTF-8 sequence that starts with lead (the text is always valid UTF-8).
std::size_t Utf8SeqLength(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead < 0xE0) {
    return 2;
  }
  return lead < 0xF0 ? 3 : 4;
}

// Returns the UTF-16 length of a converted GBK span. Every character of the
// converted text is one unit: GBK holds no character beyond the BMP, and a stray
// byte (a 4-byte sequence) counts as one, as it was one byte of the page.
std::size_t Utf16Units(std::string_view utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  std::size_t continuation = 0;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s + i, 8);
    // A continuation byte is 10xxxxxx: bit 7 set and bit 6 clear.
    const std::uint64_t marks = w & ~(w << 1) & 0x8080808080808080ULL;
    // Sum the eight one-bit flags with one multiplication.
    continuation += static_cast<std::size_t>(((marks >> 7) * 0x0101010101010101ULL) >> 56);
  }
  for (; i < n; ++i) {
    continuation += (s[i] & 0xC0) == 0x80 ? 1 : 0;
  }
  return n - continuation;
}

// Rewrites an ECMAScript pattern (as UTF-8) into RE2 syntax. Escapes RE2 spells
// differently are translated; ECMAScript's identity escapes of letters RE2 gives
// a meaning to, or rejects, become the plain letter.
std::string TranslatePattern(std::string_view p) {
  std::string out;
  out.reserve(p.size() + 8);
  bool in_class = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '[' && !in_class) {
      in_class = true;
    } else if (c == ']' && in_class) {
      in_class = false;
    }
    if (c != '\\' || i + 1 >= p.size()) {
      out.push_back(c);
      continue;
    }
    const char e = p[++i];
    switch (e) {
      case 'd':
      case 'D':
      case 'w':
      case 'W':
      case 's':
      case 'S':
      case 't':
      case 'n':
      case 'r':
      case 'f':
      case 'v':
        out += '\\';
        out += e;
        break;
      case 'b':
      case 'B':
        if (in_class && e == 'b') {
          out += "\\x08";  // a backspace inside a class
        } else {
          out += '\\';
          out += e;
        }
        break;
      case 'u':
        if (i + 4 < p.size() && IsHex(p[i + 1]) && IsHex(p[i + 2]) && IsHex(p[i + 3]) &&
            IsHex(p[i + 4])) {
          out += "\\x{";
          out.append(p.substr(i + 1, 4));
          out += '}';
          i += 4;
        } else {
          out += 'u';
        }
        break;
      case 'x':
        if (i + 2 < p.size() && IsHex(p[i + 1]) && IsHex(p[i + 2])) {
          out += "\\x";
          out.append(p.substr(i + 1, 2));
          i += 2;
        } else {
          out += 'x';
        }
        break;
      case 'c':
        if (i + 1 < p.size() && IsAsciiLetter(p[i + 1])) {
          const int code = (p[i + 1] & 0x1F);
          const char digits[] = "0123456789ABCDEF";
          out += "\\x";
          out += digits[code >> 4];
          out += digits[code & 0xF];
          ++i;
        } else {
          out += "\\\\c";
        }
        break;
      case '0':
        if (i + 1 < p.size() && p[i + 1] >= '0' && p[i + 1] <= '9') {
          out += "\\0";  // an octal escape; RE2 reads it the same way
        } else {
          out += "\\x00";
        }
        break;
      default:
        if (IsAsciiLetter(e)) {
          out += e;
        } else if (static_cast<unsigned char>(e) >= 0x80) {
          out += e;  // RE2 rejects an escaped non-ASCII character; it stands for itself
        } else {
          out += '\\';  // punctuation, and \1..\9, which RE2 rejects as it has no backreferences
          out += e;
        }
        break;
    }
  }
  return out;
}

// A pattern of the shape L0(.*?)L1(.*?)L2... where every Lk is a plain
// literal: such a pattern is matched, groups and all, by searching for the
// literals (MatchSet::FindChain) rather than by running RE2, whose per-match
// passes cost far more on pages with many links.
struct LiteralChain {
  bool usable = false;
  bool fold = false;                  // compare ASCII letters without regard to case
  bool ascii = false;                 // every literal is ASCII, the same bytes in GBK and UTF-8
  std::vector<std::string> literals;  // literals[0] before group 1, literals[k] after group k
};

LiteralChain PlanLiteralChain(std::string_view p, bool ignore_case) {
  LiteralChain chain;
  chain.fold = ignore_case;
  chain.literals.emplace_back();
  constexpr std::string_view kLazyGroup = "(.*?)";
  constexpr std::string_view kSpecial = "^$.|?*+()[]{}\\";
  for (std::size_t i = 0; i < p.size();) {
    if (p.substr(i, kLazyGroup.size()) == kLazyGroup) {
      chain.literals.emplace_back();
      i += kLazyGroup.size();
      continue;
    }
    char c = p[i];
    if (c == '\\') {
      if (i + 1 >= p.size()) {
        return {};
      }
      c = p[i + 1];
      const auto u = static_cast<unsigned char>(c);
      if (u >= 0x80 || IsAsciiLetter(c) || (c >= '0' && c <= '9')) {
        return {};
      }
      chain.literals.back() += c;
      i += 2;
      continue;
    }
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n' || (u < 0x80 && kSpecial.find(c) != std::string_view::npos)) {
      return {};
    }
    if (u >= 0x80) {
      // Unicode case folding is RE2's business; a literal of one case is only exact.
      if (ignore_case) {
        return {};
      }
      const std::size_t len = std::min(Utf8SeqLength(u), p.size() - i);
      chain.literals.back().append(p.substr(i, len));
      i += len;
      continue;
    }
    chain.literals.back() += c;
    ++i;
  }
  chain.usable = chain.literals.size() > 1;
  chain.ascii = std::all_of(chain.literals.begin(), chain.literals.end(), [](const std::string& l) {
    return std::all_of(l.begin(), l.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  });
  return chain;
}

// A compiled engine configuration.
struct Compiled {
  std::unique_ptr<RE2> re;
  int groups = 0;
  LiteralChain chain;
};

std::shared_ptr<const Compiled> Compile(const std::string& pattern_gbk, bool ignore_case,
                                        bool multiline) {
  auto compiled = std::make_shared<Compiled>();
  const std::string pattern = platform::GbkToUtf8(pattern_gbk);
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingUTF8);
  options.set_case_sensitive(!ignore_case);
  options.set_log_errors(false);
  options.set_dot_nl(false);
  // Room for the DFA on whole pages, so that it never gives up for the slow NFA.
  options.set_max_mem(int64_t{64} << 20);
  std::string translated = TranslatePattern(pattern);
  if (multiline) {
    translated.insert(0, "(?m)");
  }
  compiled->re = std::make_unique<RE2>(translated, options);
  if (!compiled->re->ok()) {
    return nullptr;
  }
  compiled->groups = compiled->re->NumberOfCapturingGroups();
  compiled->chain = PlanLiteralChain(pattern, ignore_case);
  if (compiled->chain.usable &&
      static_cast<int>(compiled->chain.literals.size()) - 1 != compiled->groups) {
    compiled->chain.usable = false;
  }
  return compiled;
}

// Calls f(begin, end) for each match of re in text, in order, as the engine's
// global search finds them: after an empty match the search moves on by one character.
template <typename F>
void ForEachMatch(const RE2& re, std::string_view text, bool global, int nsub,
                  re2::StringPiece* sub, F f) {
  const re2::StringPiece all(text.data(), text.size());
  std::size_t pos = 0;
  while (pos <= text.size()) {
    if (!re.Match(all, pos, text.size(), RE2::UNANCHORED, sub, nsub)) {
      return;
    }
    const std::size_t begin = static_cast<std::size_t>(sub[0].data() - text.data());
    const std::size_t end = begin + sub[0].size();
    f(begin, end);
    if (!global) {
      return;
    }
    if (end == begin) {
      if (end >= text.size()) {
        return;
      }
      pos = end + Utf8SeqLength(static_cast<unsigned char>(text[end]));
    } else {
      pos = end;
    }
  }
}

struct MatchRecord {
  Offset begin;
  Offset end;
  Offset first_index;  // UTF-16 units before the match
};

// What one "Execute" found: the converted text, the bounds of every match, and
// the bounds of the groups: found with the matches for a literal chain, else
// extracted by RE2 when first asked for. A chain of ASCII literals is found in
// the GBK text itself; the set then keeps GBK bytes.
class MatchSet {
 public:
  MatchSet(std::string text, std::shared_ptr<const Compiled> compiled)
      : text_(std::move(text)), compiled_(std::move(compiled)) {}

  // Returns true when the matches of compiled are found by FindInGbk.
  static bool FindsInGbk(const Compiled& compiled) {
    const LiteralChain& chain = compiled.chain;
    return chain.usable && chain.ascii && !chain.literals[0].empty();
  }

  void Find(bool global) {
    const LiteralChain& chain = compiled_->chain;
    if (chain.usable && !chain.literals[0].empty()) {
      FindChain(global);
    } else {
      re2::StringPiece whole;
      ForEachMatch(*compiled_->re, text_, global, 1, &whole,
                   [&](std::size_t begin, std::size_t end) { Add(begin, end); });
    }
    Compact();
  }

  // Finds the matches of a chain of ASCII literals (FindsInGbk) in gbk, as
  // FindChain finds them in its UTF-8 form, and keeps the matched bytes only.
  void FindInGbk(std::string_view gbk, bool global);

  std::size_t size() const { return matches_.size(); }
  const MatchRecord& at(std::size_t k) const { return matches_[k]; }
  std::size_t groups() const { return static_cast<std::size_t>(compiled_->groups); }

  // Returns the GBK text of the range.
  std::string Gbk(Offset begin, Offset end) const {
    if (begin == kNoGroup) {
      return {};
    }
    const std::string_view range = std::string_view(text_).substr(begin, end - begin);
    return gbk_ ? std::string(range) : platform::Utf8ToGbk(range);
  }

  // Returns the UTF-16 length of the range.
  std::size_t Units(Offset begin, Offset end) const {
    const std::string_view range = std::string_view(text_).substr(begin, end - begin);
    return gbk_ ? platform::Utf16Length(range) : Utf16Units(range);
  }

  // Returns the groups() group bounds of match k; they stay valid as long as the set.
  const Span* Groups(std::size_t k) const {
    const std::size_t n = groups();
    if (all_groups_ready_) {
      return group_spans_.data() + k * n;
    }
    std::lock_guard lock(mutex_);
    if (group_spans_.empty()) {
      group_spans_.resize(matches_.size() * n);
      group_ready_.assign(matches_.size(), 0);
    }
    Span* spans = group_spans_.data() + k * n;
    if (!group_ready_[k]) {
      ExtractGroups(matches_[k], spans);
      group_ready_[k] = 1;
    }
    return spans;
  }

 private:
  void Add(std::size_t begin, std::size_t end) {
    units_ += Utf16Units(std::string_view(text_).substr(counted_to_, begin - counted_to_));
    counted_to_ = begin;
    matches_.push_back(
        {static_cast<Offset>(begin), static_cast<Offset>(end), static_cast<Offset>(units_)});
  }

  // The matches of L0(.*?)L1(.*?)...: the leftmost match starts at the first
  // occurrence of L0 from which the chain of first occurrences of L1, L2, ...
  // completes before the line ends ("." does not match a line feed), and its
  // lazy groups are the texts between those occurrences. When the chain from
  // one occurrence of L0 fails, so does the chain from any later one on the
  // same line, as its occurrences can only lie further right; so the scan goes
  // on at the next line and stays linear on any text.
  void FindChain(bool global) {
    const LiteralChain& chain = compiled_->chain;
    const auto* s = reinterpret_cast<const unsigned char*>(text_.data());
    const std::size_t n = text_.size();
    std::vector<extract::LiteralFinder> finders;
    finders.reserve(chain.literals.size());
    for (const std::string& literal : chain.literals) {
      finders.emplace_back(literal, chain.fold);
    }
    const std::size_t g = finders.size() - 1;
    std::vector<Span> spans(g);
    std::size_t line_end = 0;  // the first line feed at or after the last start tried, or n
    bool line_known = false;
    std::size_t pos = 0;
    while (pos < n) {
      const std::size_t p = finders[0].Find(s, pos, n);
      if (p == extract::LiteralFinder::kNotFound) {
        break;
      }
      if (!line_known || line_end < p) {
        const void* feed = std::memchr(s + p, '\n', n - p);
        line_end = feed == nullptr
                       ? n
                       : static_cast<std::size_t>(static_cast<const unsigned char*>(feed) - s);
        line_known = true;
      }
      std::size_t q = p + finders[0].size();
      bool complete = true;
      for (std::size_t k = 1; k <= g; ++k) {
        const std::size_t at = finders[k].Find(s, q, line_end);
        if (at == extract::LiteralFinder::kNotFound) {
          complete = false;
          break;
        }
        spans[k - 1] = {static_cast<Offset>(q), static_cast<Offset>(at)};
        q = at + finders[k].size();
      }
      if (!complete) {
        pos = line_end + 1;
        continue;
      }
      Add(p, q);
      group_spans_.insert(group_spans_.end(), spans.begin(), spans.end());
      if (!global) {
        break;
      }
      pos = q;
    }
    all_groups_ready_ = true;
  }

  // Keeps of the converted text only what the matches need: each match with
  // one character on either side, the context that "^", "$" and "\b" look at
  // when groups are extracted later. A search whose results are held on to
  // then costs little more memory than its matches.
  void Compact() {
    if (matches_.empty()) {
      std::string().swap(text_);
      return;
    }
    const std::string_view text(text_);
    std::vector<Region> kept;  // in the text's offsets, merged where they touch
    std::size_t total = 0;
    for (const MatchRecord& m : matches_) {
      std::size_t begin = m.begin;
      if (begin > 0) {
        --begin;
        while (begin > 0 && (static_cast<unsigned char>(text[begin]) & 0xC0) == 0x80) {
          --begin;
        }
      }
      std::size_t end = m.end;
      if (end < text.size()) {
        end += Utf8SeqLength(static_cast<unsigned char>(text[end]));
      }
      if (!kept.empty() && begin <= kept.back().end) {
        total += end > kept.back().end ? end - kept.back().end : 0;
        kept.back().end = std::max<Offset>(kept.back().end, static_cast<Offset>(end));
      } else {
        total += end - begin;
        kept.push_back({static_cast<Offset>(begin), static_cast<Offset>(end)});
      }
    }
    if (total > text.size() / 2) {
      return;
    }
    std::string compact;
    compact.reserve(total);
    regions_.reserve(kept.size());
    for (const Region& r : kept) {
      regions_.push_back({static_cast<Offset>(compact.size()),
                          static_cast<Offset>(compact.size() + (r.end - r.begin))});
      compact.append(text.substr(r.begin, r.end - r.begin));
    }
    const std::size_t n = groups();
    std::size_t r = 0;
    for (std::size_t k = 0; k < matches_.size(); ++k) {
      MatchRecord& m = matches_[k];
      while (kept[r].end < m.end) {
        ++r;
      }
      const auto shift = [&](Offset& offset) {
        if (offset != kNoGroup) {
          offset = offset - kept[r].begin + regions_[r].begin;
        }
      };
      shift(m.begin);
      shift(m.end);
      if (all_groups_ready_) {
        for (std::size_t j = 0; j < n; ++j) {
          shift(group_spans_[k * n + j].begin);
          shift(group_spans_[k * n + j].end);
        }
      }
    }
    text_.swap(compact);
  }

  void ExtractGroups(const MatchRecord& m, Span* spans) const {
    const int n = compiled_->groups;
    std::vector<re2::StringPiece> sub(static_cast<std::size_t>(n) + 1);
    Region context{0, static_cast<Offset>(text_.size())};
    if (!regions_.empty()) {
      const auto after = std::upper_bound(
          regions_.begin(), regions_.end(), m.begin,
          [](Offset offset, const Region& region) { return offset < region.begin; });
      context = *(after - 1);
    }
    const re2::StringPiece piece(text_.data() + context.begin, context.end - context.begin);
    if (!compiled_->re->Match(piece, m.begin - context.begin, m.end - context.begin,
                              RE2::ANCHOR_BOTH, sub.data(), n + 1)) {
      return;
    }
    for (int k = 1; k <= n; ++k) {
      if (sub[k].data() != nullptr) {
        const auto begin = static_cast<Offset>(sub[k].data() - text_.data());
        spans[k - 1] = {begin, static_cast<Offset>(begin + sub[k].size())};
      }
    }
  }

  struct Region {
    Offset begin;
    Offset end;
  };

  std::string text_;
  bool gbk_ = false;  // text_ holds GBK bytes (FindInGbk) rather than UTF-8
  const std::shared_ptr<const Compiled> compiled_;
  std::vector<MatchRecord> matches_;
  std::vector<Region> regions_;  // what Compact() kept, in text_'s offsets; empty when it kept all
  std::size_t counted_to_ = 0;   // FirstIndex is counted incrementally, match after match
  std::size_t units_ = 0;
  bool all_groups_ready_ = false;
  mutable std::mutex mutex_;  // guards the groups extracted on demand, which copies may share
  mutable std::vector<Span> group_spans_;
  mutable std::vector<std::uint8_t> group_ready_;
};

// The scan of FindChain over GBK bytes. An ASCII literal occurs where its bytes
// stand at the start of a character: a byte of the text that is the second
// half of a double-byte character is no ASCII character, though its value may
// be one. So every occurrence is checked against a cursor that decodes the
// text from its start; occurrences are tried left to right, so the cursor only
// moves forward and the scan stays linear. The cursor also counts the UTF-16
// units before each match.
void MatchSet::FindInGbk(std::string_view gbk, bool global) {
  gbk_ = true;
  const LiteralChain& chain = compiled_->chain;
  const auto* s = reinterpret_cast<const unsigned char*>(gbk.data());
  const std::size_t n = gbk.size();
  std::vector<extract::LiteralFinder> finders;
  finders.reserve(chain.literals.size());
  for (const std::string& literal : chain.literals) {
    finders.emplace_back(literal, chain.fold);
  }
  std::size_t cursor = 0;  // a character start; every position tried lies at or after it
  std::size_t units = 0;   // the UTF-16 units before cursor
  const auto starts_character = [&](std::size_t p) {
    if (p > cursor) {
      std::size_t end = p;
      units += platform::Utf16LengthUpTo(gbk, cursor, p, end);
      cursor = end;
    }
    return cursor == p;
  };
  // Returns the first occurrence of literal k in [from, end) at a character start.
  const auto find = [&](std::size_t k, std::size_t from, std::size_t end) {
    for (;;) {
      const std::size_t at = finders[k].Find(s, from, end);
      if (at == extract::LiteralFinder::kNotFound || starts_character(at)) {
        return at;
      }
      from = at + 1;
    }
  };

  const std::size_t g = finders.size() - 1;
  std::vector<Span> spans(g);
  std::size_t line_end = 0;  // the first line feed at or after the last start tried, or n
  bool line_known = false;
  std::size_t pos = 0;
  while (pos < n) {
    const std::size_t p = find(0, pos, n);
    if (p == extract::LiteralFinder::kNotFound) {
      break;
    }
    const std::size_t units_before = units;
    if (!line_known || line_end < p) {
      const void* feed = std::memchr(s + p, '\n', n - p);
      line_end = feed == nullptr
                     ? n
                     : static_cast<std::size_t>(static_cast<const unsigned char*>(feed) - s);
      line_known = true;
    }
    std::size_t q = p + finders[0].size();
    bool complete = true;
    for (std::size_t k = 1; k <= g; ++k) {
      const std::size_t at = find(k, q, line_end);
      if (at == extract::LiteralFinder::kNotFound) {
        complete = false;
        break;
      }
      spans[k - 1] = {static_cast<Offset>(q), static_cast<Offset>(at)};
      q = at + finders[k].size();
    }
    if (!complete) {
      pos = line_end + 1;
      continue;
    }
    matches_.push_back(
        {static_cast<Offset>(p), static_cast<Offset>(q), static_cast<Offset>(units_before)});
    group_spans_.insert(group_spans_.end(), spans.begin(), spans.end());
    if (!global) {
      break;
    }
    pos = q;
  }
  all_groups_ready_ = true;

  // Only the matched bytes are kept; matches never overlap.
  std::size_t total = 0;
  for (const MatchRecord& m : matches_) {
    total += m.end - m.begin;
  }
  text_.reserve(total);
  for (std::size_t k = 0; k < matches_.size(); ++k) {
    MatchRecord& m = matches_[k];
    const auto begin = static_cast<Offset>(text_.size());
    text_.append(gbk.substr(m.begin, m.end - m.begin));
    const auto shift = [&](Offset& offset) { offset = offset - m.begin + begin; };
    for (std::size_t j = 0; j < g; ++j) {
      shift(group_spans_[k * g + j].begin);
      shift(group_spans_[k * g + j].end);
    }
    m.end = m.end - m.begin + begin;
    m.begin = begin;
  }
}

// Returns a member's index argument as an index below size, or nullopt.
std::optional<std::size_t> IndexArg(std::span<const Variant> args, std::size_t size) {
  if (args.size() == 1) {
    if (const auto* i = std::get_if<std::int32_t>(&args[0].value())) {
      if (*i < 0 || static_cast<std::size_t>(*i) >= size) {
        return std::nullopt;
      }
      return static_cast<std::size_t>(*i);
    }
  }
  double d = 0;
  if (args.size() != 1 || !args[0].ToNumber(d) || !(d >= 0) || d >= static_cast<double>(size)) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(d);
}

Variant Count(std::size_t n) {
  if (n <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return Variant(static_cast<std::int32_t>(n));
  }
  return Variant(static_cast<double>(n));
}

// Returns the text an argument holds, read in place when it is a text (a page
// is not copied for the call), else converted into scratch; null when it is no text.
const std::string* TextArg(const Variant& arg, std::string& scratch) {
  if (const auto* text = std::get_if<std::string>(&arg.value())) {
    return text;
  }
  return arg.ToText(scratch) ? &scratch : nullptr;
}

bool IsRead(CallKind kind) { return kind == CallKind::kGet || kind == CallKind::kMethod; }

class GroupCollection final : public Object {
 public:
  GroupCollection(std::shared_ptr<const MatchSet> set, std::size_t k)
      : set_(std::move(set)), spans_(set_->Groups(k)) {}

  bool Invoke(std::string_view member, CallKind kind, std::span<const Variant> args,
              Variant& result) override {
    if (!IsRead(kind)) {
      return false;
    }
    if (MemberIs(member, "Item")) {
      const auto j = IndexArg(args, set_->groups());
      if (!j) {
        return false;
      }
      result = Variant(set_->Gbk(spans_[*j].begin, spans_[*j].end));
      return true;
    }
    if (MemberIs(member, "Count") && args.empty()) {
      result = Count(set_->groups());
      return true;
    }
    return false;
  }

 private:
  std::shared_ptr<const MatchSet> set_;
  const Span* spans_;
};

class MatchObject final : public Object {
 public:
  MatchObject(std::shared_ptr<const MatchSet> set, std::size_t k) : set_(std::move(set)), k_(k) {}

  bool Invoke(std::string_view member, CallKind kind, std::span<const Variant> args,
              Variant& result) override {
    if (!IsRead(kind) || !args.empty()) {
      return false;
    }
    const MatchRecord& m = set_->at(k_);
    if (MemberIs(member, "Value")) {
      result = Variant(set_->Gbk(m.begin, m.end));
    } else if (MemberIs(member, "FirstIndex")) {
      result = Count(m.first_index);
    } else if (MemberIs(member, "Length")) {
      result = Count(set_->Units(m.begin, m.end));
    } else if (MemberIs(member, "SubMatches")) {
      result = Variant(ObjectRef(std::make_shared<GroupCollection>(set_, k_)));
    } else {
      return false;
    }
    return true;
  }

 private:
  std::shared_ptr<const MatchSet> set_;
  std::size_t k_;
};

class MatchCollection final : public Object {
 public:
  explicit MatchCollection(std::shared_ptr<const MatchSet> set) : set_(std::move(set)) {}

  bool Invoke(std::string_view member, CallKind kind, std::span<const Variant> args,
              Variant& result) override {
    if (!IsRead(kind)) {
      return false;
    }
    if (MemberIs(member, "Count") && args.empty()) {
      result = Count(set_->size());
      return true;
    }
    if (MemberIs(member, "Item")) {
      const auto k = IndexArg(args, set_->size());
      if (!k) {
        return false;
      }
      result = Variant(ObjectRef(std::make_shared<MatchObject>(set_, *k)));
      return true;
    }
    return false;
  }

 private:
  std::shared_ptr<const MatchSet> set_;
};

// Appends the expansion of an ECMAScript replacement text for one match.
void ExpandReplacement(std::string_view replacement, std::string_view text,
                       std::span<const re2::StringPiece> sub, std::string& out) {
  const int groups = static_cast<int>(sub.size()) - 1;
  const auto piece = [&](const re2::StringPiece& s) {
    if (s.data() != nullptr) {
      out.append(s.data(), s.size());
    }
  };
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char c = replacement[i];
    if (c != '$' || i + 1 >= replacement.size()) {
      out.push_back(c);
      continue;
    }
    const char d = replacement[i + 1];
    const std::size_t begin = static_cast<std::size_t>(sub[0].data() - text.data());
    if (d == '$') {
      out.push_back('$');
      ++i;
    } else if (d == '&') {
      piece(sub[0]);
      ++i;
    } else if (d == '`') {
      out.append(text.substr(0, begin));
      ++i;
    } else if (d == '\'') {
      out.append(text.substr(begin + sub[0].size()));
      ++i;
    } else if (d >= '0' && d <= '9') {
      int n = d - '0';
      std::size_t used = 1;
      if (i + 2 < replacement.size() && replacement[i + 2] >= '0' && replacement[i + 2] <= '9') {
        const int two = n * 10 + (replacement[i + 2] - '0');
        if (two >= 1 && two <= groups) {
          n = two;
          used = 2;
        }
      }
      if (n >= 1 && n <= groups) {
        piece(sub[static_cast<std::size_t>(n)]);
        i += used;
      } else {
        out.push_back('$');
      }
    } else {
      out.push_back('$');
    }
  }
}

class RegExpEngine final : public Object {
 public:
  bool Invoke(std::string_view member, CallKind kind, std::span<const Variant> args,
              Variant& result) override {
    if (kind == CallKind::kPut) {
      return Put(member, args);
    }
    if (kind == CallKind::kGet && args.empty()) {
      if (MemberIs(member, "IgnoreCase")) {
        result = Variant(ignore_case_);
      } else if (MemberIs(member, "Multiline")) {
        result = Variant(multiline_);
      } else if (MemberIs(member, "Global")) {
        result = Variant(global_);
      } else if (MemberIs(member, "Pattern")) {
        result = Variant(pattern_);
      } else {
        return false;
      }
      return true;
    }
    if (kind != CallKind::kMethod) {
      return false;
    }
    std::string scratch;
    std::string scratch2;
    const std::string* text = args.size() >= 1 ? TextArg(args[0], scratch) : nullptr;
    if (MemberIs(member, "Execute") && args.size() == 1 && text != nullptr) {
      return Execute(*text, result);
    }
    if (MemberIs(member, "Replace") && args.size() == 2 && text != nullptr) {
      const std::string* replacement = TextArg(args[1], scratch2);
      return replacement != nullptr && Replace(*text, *replacement, result);
    }
    if (MemberIs(member, "Test") && args.size() == 1 && text != nullptr) {
      const auto compiled = Program();
      if (!compiled) {
        return false;
      }
      result = Variant(RE2::PartialMatch(platform::GbkToUtf8(*text), *compiled->re));
      return true;
    }
    return false;
  }

 private:
  bool Put(std::string_view member, std::span<const Variant> args) {
    if (args.size() != 1) {
      return false;
    }
    bool flag = false;
    if (MemberIs(member, "Pattern")) {
      std::string pattern;
      if (!args[0].ToText(pattern)) {
        return false;
      }
      pattern_ = std::move(pattern);
    } else if (!args[0].ToBool(flag)) {
      return false;
    } else if (MemberIs(member, "IgnoreCase")) {
      ignore_case_ = flag;
    } else if (MemberIs(member, "Multiline")) {
      multiline_ = flag;
    } else if (MemberIs(member, "Global")) {
      global_ = flag;
    } else {
      return false;
    }
    compiled_.reset();
    return true;
  }

  std::shared_ptr<const Compiled> Program() {
    if (!compiled_) {
      compiled_ = Compile(pattern_, ignore_case_, multiline_);
    }
    return compiled_;
  }

  bool Execute(const std::string& text, Variant& result) {
    auto compiled = Program();
    if (!compiled) {
      return false;
    }
    if (MatchSet::FindsInGbk(*compiled)) {
      // No converted copy of the page is made.
      if (text.size() > kMaxText) {
        return false;
      }
      auto set = std::make_shared<MatchSet>(std::string(), std::move(compiled));
      set->FindInGbk(text, global_);
      result = Variant(ObjectRef(std::make_shared<MatchCollection>(std::move(set))));
      return true;
    }
    std::string converted = platform::GbkToUtf8(text);
    if (converted.size() > kMaxText) {
      return false;
    }
    auto set = std::make_shared<MatchSet>(std::move(converted), std::move(compiled));
    set->Find(global_);
    result = Variant(ObjectRef(std::make_shared<MatchCollection>(std::move(set))));
    return true;
  }

  bool Replace(const std::string& text_gbk, const std::string& replacement_gbk, Variant& result) {
    const auto compiled = Program();
    if (!compiled) {
      return false;
    }
    const std::string text = platform::GbkToUtf8(text_gbk);
    const std::string replacement = platform::GbkToUtf8(replacement_gbk);
    std::vector<re2::StringPiece> sub(static_cast<std::size_t>(compiled->groups) + 1);
    std::string out;
    out.reserve(text.size());
    std::size_t copied_to = 0;
    ForEachMatch(*compiled->re, text, global_, static_cast<int>(sub.size()), sub.data(),
                 [&](std::size_t begin, std::size_t end) {
                   out.append(text, copied_to, begin - copied_to);
                   ExpandReplacement(replacement, text, sub, out);
                   copied_to = end;
                 });
    out.append(text, copied_to, std::string::npos);
    result = Variant(platform::Utf8ToGbk(out));
    return true;
  }

  bool ignore_case_ = false;
  bool multiline_ = false;
  bool global_ = false;
  std::string pattern_;
  std::shared_ptr<const Compiled> compiled_;
};

}  // namespace

void RegisterRegExpComponent() {
  automation::RegisterProgId("VBScript.RegExp", [] { return std::make_shared<RegExpEngine>(); });
}

}  // namespace qvod
