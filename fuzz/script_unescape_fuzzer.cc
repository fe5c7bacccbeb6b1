// ScriptUnescape.
//  - A text without a "%" byte comes back unchanged. This rests on the code
//    page's promise that GBK -> UTF-16 -> GBK is the identity on any bytes
//    (stray bytes included); a "%" cannot hide inside a double-byte character,
//    as no second byte is below 0x40.
//  - Every character of a text written as "%uXXXX" escapes of its UTF-16 units
//    decodes back to the text.
//  - Decoding never lengthens a text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "extract/text_helpers.h"
#include "fuzz_support.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string decoded = qvod::ScriptUnescape(text);
  FUZZ_CHECK(decoded.size() <= text.size());
  if (text.find('%') == std::string::npos) {
    FUZZ_CHECK(decoded == text);
  }

  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  for (const char16_t unit : qvod::platform::GbkToUtf16(text)) {
    escaped += "%u";
    escaped += kHex[unit >> 12];
    escaped += kHex[(unit >> 8) & 0xF];
    escaped += kHex[(unit >> 4) & 0xF];
    escaped += kHex[unit & 0xF];
  }
  FUZZ_CHECK(qvod::ScriptUnescape(escaped) == text);
  return 0;
}
