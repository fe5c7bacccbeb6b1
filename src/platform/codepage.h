// Conversion between the program's ANSI code page (CP936, GBK) and Unicode.
//
// Every text of the core is a std::string of GBK bytes. These conversions are
// table-driven (the tables are made from iconv's CP936 when the program is
// built) and lossless: a byte that does not start a valid GBK character maps
// to the code point U+10FF00 + byte and comes back as that same byte, so
// GbkToUtf16 followed by Utf16ToGbk (or the UTF-8 pair) is the identity on any
// bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qvod::platform {

// The code point that stands for the stray byte b (0x80..0xFF) in Unicode.
constexpr char32_t kStrayByteBase = 0x10FF00;

// Returns true when c is a lead byte by the scan rule of the core: any byte of
// 0x80 or above starts a double-byte character.
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x80; }

// Returns the UTF-16 form of gbk.
std::u16string GbkToUtf16(std::string_view gbk);

// Returns the GBK form of text. A character that GBK lacks becomes a close
// substitute where one is defined (an accented Latin letter becomes its base
// letter), otherwise "?". A lone surrogate becomes "?".
std::string Utf16ToGbk(std::u16string_view text);

// Returns the UTF-8 form of gbk.
std::string GbkToUtf8(std::string_view gbk);

// Returns the GBK form of utf8, with the substitutions of Utf16ToGbk. A byte
// that is not part of valid UTF-8 becomes "?".
std::string Utf8ToGbk(std::string_view utf8);

// Returns the number of UTF-16 code units that GbkToUtf16 gives for gbk, counting
// a stray byte as one unit (as the platform's conversion maps it to one character).
std::size_t Utf16Length(std::string_view gbk);

// Returns the number of UTF-16 code units, counted as Utf16Length counts them,
// of the characters of gbk that begin at or after from and before to, decoding
// from from, which must begin a character. Sets end to where the last of them
// ends: to when to begins a character, to + 1 when a double-byte character
// spans it. Needs from <= to <= gbk.size().
std::size_t Utf16LengthUpTo(std::string_view gbk, std::size_t from, std::size_t to,
                            std::size_t& end);

}  // namespace qvod::platform
