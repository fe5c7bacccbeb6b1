// Descramble, with headless services so that the wrong-password message is
// recorded instead of waiting for a click.
//  - Length rule: n <= 3 gives the n bytes reversed; n > 3 gives at most
//    ceil(n/2) bytes.
//  - For n > 3 the result is the joined text of the two passes, or the part of
//    it before its first "*" at a character start when the password suffix
//    (trailing ASCII and full-width spaces trimmed) equals the password, or
//    empty with exactly one message when it does not.
// Out-of-bounds reads are AddressSanitizer's to catch: the input is the fuzzer's
// own buffer, so a read past its end stops the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "descramble/descramble.h"
#include "fuzz_support.h"
#include "platform/services.h"

namespace {

using qvod::fuzz::FuzzInput;
using qvod::fuzz::NextChar;

std::string Joined(std::string_view text) {
  std::string kept;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    kept.push_back(text[i]);
  }
  const std::size_t m = kept.size();
  const std::size_t h = m / 2;
  std::string joined;
  for (std::size_t j = 0; j < h; ++j) {
    joined.push_back(kept[j]);
    joined.push_back(kept[h + j]);
  }
  if (m % 2 == 1) {
    joined.push_back(kept[m - 1]);
  }
  return joined;
}

// Returns suffix without its trailing blanks, read as characters from its first
// byte: a " " or a full-width space A1 A1 that is a character of its own (not
// the second half of another one).
std::string_view Trimmed(std::string_view suffix) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < suffix.size();) {
    const std::size_t next = std::min(NextChar(suffix, i), suffix.size());
    const std::string_view character = suffix.substr(i, next - i);
    if (character != " " && character != "\xA1\xA1") {
      kept = next;
    }
    i = next;
  }
  return suffix.substr(0, kept);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::string password = input.Text(6);
  // The text gets a buffer of its own size, so a read past its end is caught.
  const std::string rest = input.Rest();
  const auto buffer = std::make_unique<char[]>(rest.size() + 1);
  std::copy(rest.begin(), rest.end(), buffer.get());
  const std::string_view text(buffer.get(), rest.size());

  const auto services = std::make_shared<qvod::platform::HeadlessServices>();
  qvod::platform::SetServices(services);
  const std::string result = qvod::Descramble(text, password);
  const std::size_t messages = services->Messages().size();
  const std::size_t n = text.size();

  if (n <= 3) {
    FUZZ_CHECK(result == std::string(text.rbegin(), text.rend()));
    FUZZ_CHECK(messages == 0);
    return 0;
  }
  FUZZ_CHECK(result.size() <= (n + 1) / 2);
  const std::string joined = Joined(text);
  std::size_t star = 0;
  while (star < joined.size() && joined[star] != '*') {
    star = NextChar(joined, star);
  }
  if (star >= joined.size()) {
    FUZZ_CHECK(result == joined);
    FUZZ_CHECK(messages == 0);
  } else if (Trimmed(std::string_view(joined).substr(star + 1)) == password) {
    FUZZ_CHECK(result == joined.substr(0, star));
    FUZZ_CHECK(messages == 0);
  } else {
    FUZZ_CHECK(result.empty());
    FUZZ_CHECK(messages == 1);
  }
  return 0;
}
