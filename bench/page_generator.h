// Deterministic GBK pages for benchmarks and for tests that compare fast paths
// with straightforward ones: CR LF lines of markup and Chinese text (including
// double-byte characters whose second byte is 'q' or '|'), with qvod links in
// the forms the channels look for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvod::bench {

// Which link forms a page carries.
enum class LinkForms {
  kBoth,      // alternately "qvod://a|b|c|" and "qvod%3A%2F%2Fa%7Cb%7Cc%7C"
  kChannel1,  // "qvod://a|b|c|" only
  kChannel2,  // "qvod%3A%2F%2Fa%7Cb%7Cc%7C" only
};

struct GeneratedPage {
  std::string text;        // GBK bytes
  std::size_t links1 = 0;  // links written as "qvod://a|b|c|"
  std::size_t links2 = 0;  // links written as "qvod%3A%2F%2Fa%7Cb%7Cc%7C"
};

// Returns a page of about size bytes (never less) with one link every
// link_spacing bytes. The same arguments always give the same page.
GeneratedPage MakePage(std::size_t size, std::size_t link_spacing = 2048,
                       LinkForms forms = LinkForms::kBoth, std::uint32_t seed = 1);

// Returns a single line of line_size bytes made of "qvod%3A%2F%2F" repeated
// with no separator after it, then CR LF, then tail; the links are tail's.
GeneratedPage MakeHostileLongLine(std::size_t line_size, const GeneratedPage& tail);

// Returns about size bytes of double-byte Chinese text in lines of line_size
// bytes, with no links.
GeneratedPage MakeDoubleByteText(std::size_t size, std::size_t line_size, std::uint32_t seed = 1);

}  // namespace qvod::bench
