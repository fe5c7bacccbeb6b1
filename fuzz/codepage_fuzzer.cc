// Code-page conversion: GBK -> Unicode -> GBK is the identity on any bytes,
// through UTF-16 and through UTF-8; the two Unicode forms agree; the UTF-16
// length counts each decoded character once. Any UTF-16 or UTF-8 input converts
// to GBK that itself round-trips.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/codepage.h"

namespace {

using qvod::platform::GbkToUtf16;
using qvod::platform::GbkToUtf8;
using qvod::platform::kStrayByteBase;
using qvod::platform::Utf16Length;
using qvod::platform::Utf16ToGbk;
using qvod::platform::Utf8ToGbk;

// Returns the code points of a UTF-16 text; a lone surrogate stands for itself.
std::u32string CodePoints(const std::u16string& text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(u);
  }
  return out;
}

// Returns the UTF-8 form of code points (none of them a surrogate).
std::string Utf8Of(const std::u32string& points) {
  std::string out;
  for (const char32_t u : points) {
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else if (u < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (u >> 18)));
      out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string gbk(reinterpret_cast<const char*>(data), size);

  const std::u16string wide = GbkToUtf16(gbk);
  FUZZ_CHECK(Utf16ToGbk(wide) == gbk);
  const std::string utf8 = GbkToUtf8(gbk);
  FUZZ_CHECK(Utf8ToGbk(utf8) == gbk);

  // Every decoded character is a BMP character that is no surrogate, or a stray
  // byte's stand-in; the UTF-8 form is the same characters.
  const std::u32string points = CodePoints(wide);
  std::size_t stray = 0;
  for (const char32_t u : points) {
    FUZZ_CHECK(!(u >= 0xD800 && u <= 0xDFFF));
    if (u >= 0x10000) {
      FUZZ_CHECK(u >= kStrayByteBase + 0x80 && u <= kStrayByteBase + 0xFF);
      ++stray;
    }
  }
  FUZZ_CHECK(Utf8Of(points) == utf8);
  FUZZ_CHECK(Utf16Length(gbk) == points.size());
  FUZZ_CHECK(wide.size() == points.size() + stray);
  FUZZ_CHECK(points.size() <= gbk.size());

  // The same bytes read as UTF-16 units and as UTF-8: whatever comes out is GBK
  // that converts back to the characters it stands for and round-trips itself.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
  const std::string from_units = Utf16ToGbk(units);
  FUZZ_CHECK(from_units.size() <= 2 * units.size());
  FUZZ_CHECK(Utf16ToGbk(GbkToUtf16(from_units)) == from_units);
  const std::string from_utf8 = Utf8ToGbk(gbk);
  FUZZ_CHECK(from_utf8.size() <= gbk.size());
  FUZZ_CHECK(Utf8ToGbk(GbkToUtf8(from_utf8)) == from_utf8);
  // Each character comes back as itself, or as an ASCII substitute ("?" or the
  // base letter of an accented Latin one): never as another character. The
  // stand-ins of stray bytes are left out: they stand for bytes, not characters.
  for (const char32_t c : CodePoints(units)) {
    if (c >= kStrayByteBase + 0x80 && c <= kStrayByteBase + 0xFF) {
      continue;
    }
    std::u16string one;
    if (c >= 0x10000) {
      one.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      one.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      one.push_back(static_cast<char16_t>(c));
    }
    const std::u32string back = CodePoints(GbkToUtf16(Utf16ToGbk(one)));
    FUZZ_CHECK(back.size() == 1);
    FUZZ_CHECK(back[0] == c || (c >= 0x80 && back[0] < 0x80));
  }
  return 0;
}
