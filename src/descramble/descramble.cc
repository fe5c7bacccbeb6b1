#include "descramble/descramble.h"

#include <cmath>
#include <cstddef>
#include <string>

#include "platform/codepage.h"
#include "platform/services.h"

namespace qvod {
namespace {

// The parity of a count is taken on its value as a real number, with the
// tolerance of the floating-point test it stands for; for whole counts this is
// the ordinary odd test.
bool IsOddCount(std::size_t count) {
  const double remainder = std::fmod(std::fabs(static_cast<double>(count)), 2.0);
  return std::fabs(remainder - 1.0) < 1e-7;
}

// Returns the byte position of the first "*" that begins a character, or npos.
std::size_t FindStar(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '*') {
      return i;
    }
    i += platform::IsLeadByte(c) ? 2 : 1;
  }
  return std::string::npos;
}

// Returns suffix without its trailing ASCII and full-width (A1 A1) spaces. The
// scan steps by characters, so the trail byte of another character followed by
// A1 is never taken for a full-width space.
std::string_view TrimBlanks(std::string_view suffix) {
  std::size_t kept_end = 0;
  std::size_t i = 0;
  while (i < suffix.size()) {
    const auto c = static_cast<unsigned char>(suffix[i]);
    if (c == ' ') {
      i += 1;
    } else if (c == 0xA1 && i + 1 < suffix.size() &&
               static_cast<unsigned char>(suffix[i + 1]) == 0xA1) {
      i += 2;
    } else {
      i += platform::IsLeadByte(c) ? 2 : 1;
      kept_end = i < suffix.size() ? i : suffix.size();
    }
  }
  return suffix.substr(0, kept_end);
}

// 密码错误，请核对！
constexpr char kWrongPassword[] =
    "\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3\xA3\xAC\xC7\xEB\xBA\xCB\xB6\xD4\xA3\xA1";
// 信息：
constexpr char kInformationCaption[] = "\xD0\xC5\xCF\xA2\xA3\xBA";

}  // namespace

std::string Descramble(std::string_view text, std::string_view password) {
  const std::size_t n = text.size();
  if (n <= 3) {
    return std::string(text.rbegin(), text.rend());
  }

  std::string kept;
  kept.reserve(n / 2 + 1);
  for (std::size_t i = 0; i < n; i += 2) {
    kept.push_back(text[i]);
  }

  const std::size_t m = kept.size();
  const std::size_t h = m / 2;
  std::string joined;
  joined.reserve(m);
  for (std::size_t j = 0; j < h; ++j) {
    joined.push_back(kept[j]);
    joined.push_back(kept[h + j]);
  }
  if (IsOddCount(m)) {
    joined.push_back(kept[m - 1]);
  }

  const std::size_t star = FindStar(joined);
  if (star == std::string::npos) {
    return joined;
  }
  const std::string_view suffix = TrimBlanks(std::string_view(joined).substr(star + 1));
  if (suffix == password) {
    joined.resize(star);
    return joined;
  }
  platform::GetServices()->ShowMessage(kWrongPassword, kInformationCaption,
                                       platform::MessageStyle::kOk);
  return {};
}

std::string CaptionText() { return Descramble(Descramble(ScrambledCaption, {}), {}); }

std::string LinkTarget() { return Descramble(Descramble(ScrambledLinkTarget, {}), {}); }

std::string BannerText() { return Descramble(Descramble(ScrambledBanner, {}), {}); }

}  // namespace qvod
