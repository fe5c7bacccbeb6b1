#include "page_generator.h"

#include <array>

namespace qvod::bench {
namespace {

class Rng {
 public:
  explicit Rng(std::uint32_t seed) : state_(seed == 0 ? 0x9E3779B9u : seed) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint32_t state_;
};

// One double-byte character: mostly common hanzi (GB2312 level 1), now and then
// one whose second byte is an ASCII 'q' or '|'.
void AppendHanzi(Rng& rng, std::string& out) {
  const std::uint32_t pick = rng.Below(64);
  if (pick == 0) {
    out += "\x81\x71";  // second byte 'q'
    return;
  }
  if (pick == 1) {
    out += "\x81\x7C";  // second byte '|'
    return;
  }
  out += static_cast<char>(0xB0 + rng.Below(0xD7 - 0xB0 + 1));
  out += static_cast<char>(0xA1 + rng.Below(0xFE - 0xA1 + 1));
}

void AppendHanziRun(Rng& rng, std::size_t chars, std::string& out) {
  for (std::size_t k = 0; k < chars; ++k) {
    AppendHanzi(rng, out);
  }
}

void AppendDigits(Rng& rng, std::size_t digits, std::string& out) {
  for (std::size_t k = 0; k < digits; ++k) {
    out += static_cast<char>('0' + rng.Below(10));
  }
}

void AppendHash(Rng& rng, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int k = 0; k < 40; ++k) {
    out += kHex[rng.Below(16)];
  }
}

// One filler line of markup or text, ending in CR LF.
void AppendFillerLine(Rng& rng, std::string& out) {
  switch (rng.Below(6)) {
    case 0:
      out += "<div class=\"item\"><a href=\"http://www.example.com/movie/";
      AppendDigits(rng, 5, out);
      out += ".html\" title=\"";
      AppendHanziRun(rng, 4 + rng.Below(6), out);
      out += "\">";
      AppendHanziRun(rng, 4 + rng.Below(6), out);
      out += "</a></div>";
      break;
    case 1:
      out += "<p>";
      AppendHanziRun(rng, 20 + rng.Below(40), out);
      out += "</p>";
      break;
    case 2:
      out += "<script type=\"text/javascript\" src=\"/js/common.js?v=";
      AppendDigits(rng, 3, out);
      out += "\"></script>";
      break;
    case 3:
      out += "<li><span>";
      AppendHanziRun(rng, 3, out);
      out += "\xA3\xBA</span>";  // a full-width colon
      AppendHanziRun(rng, 6 + rng.Below(10), out);
      out += " | ";
      AppendDigits(rng, 4, out);
      out += "</li>";
      break;
    case 4:
      // A decoy: "q" is the second byte of a double-byte character, so no link starts here.
      out += "\x81\x71vod%3A%2F%2F";
      AppendDigits(rng, 6, out);
      out += "%7C";
      AppendHash(rng, out);
      out += "%7Cdecoy.rmvb%7C \x81\x71vod://1|2|3|";
      break;
    default:
      AppendHanziRun(rng, 10 + rng.Below(30), out);
      break;
  }
  out += "\r\n";
}

void AppendLink(Rng& rng, bool channel1_form, std::string& out) {
  std::string size;
  AppendDigits(rng, 6 + rng.Below(4), size);
  std::string hash;
  AppendHash(rng, hash);
  std::string name;
  AppendHanziRun(rng, 2 + rng.Below(5), name);
  AppendDigits(rng, 2, name);
  name += ".rmvb";
  out += "<input type=\"checkbox\" value=\"";
  if (channel1_form) {
    out += "qvod://" + size + "|" + hash + "|" + name + "|";
  } else if (rng.Below(8) == 0) {
    out += "QVOD%3a%2f%2f" + size + "%7c" + hash + "%7c" + name + "%7c";  // other letter case
  } else {
    out += "qvod%3A%2F%2F" + size + "%7C" + hash + "%7C" + name + "%7C";
  }
  out += "\" />\r\n";
}

}  // namespace

GeneratedPage MakePage(std::size_t size, std::size_t link_spacing, LinkForms forms,
                       std::uint32_t seed) {
  Rng rng(seed);
  GeneratedPage page;
  page.text.reserve(size + 4096);
  page.text += "<html><head><meta charset=\"gbk\"></head><body>\r\n";
  std::size_t next_link = link_spacing;
  bool channel1_next = forms != LinkForms::kChannel2;
  while (page.text.size() < size) {
    if (page.text.size() >= next_link) {
      AppendLink(rng, channel1_next, page.text);
      ++(channel1_next ? page.links1 : page.links2);
      if (forms == LinkForms::kBoth) {
        channel1_next = !channel1_next;
      }
      next_link += link_spacing;
      continue;
    }
    AppendFillerLine(rng, page.text);
  }
  page.text += "</body></html>\r\n";
  return page;
}

GeneratedPage MakeHostileLongLine(std::size_t line_size, const GeneratedPage& tail) {
  static constexpr std::string_view kPiece = "qvod%3A%2F%2F";
  GeneratedPage page;
  page.text.reserve(line_size + kPiece.size() + tail.text.size() + 2);
  while (page.text.size() < line_size) {
    page.text += kPiece;
  }
  page.text += "\r\n";
  page.text += tail.text;
  page.links1 = tail.links1;
  page.links2 = tail.links2;
  return page;
}

GeneratedPage MakeDoubleByteText(std::size_t size, std::size_t line_size, std::uint32_t seed) {
  Rng rng(seed);
  GeneratedPage page;
  page.text.reserve(size + line_size);
  std::size_t line_end = line_size;
  while (page.text.size() < size) {
    while (page.text.size() + 2 < line_end) {
      AppendHanzi(rng, page.text);
    }
    page.text += "\r\n";
    line_end = page.text.size() + line_size;
  }
  return page;
}

}  // namespace qvod::bench
