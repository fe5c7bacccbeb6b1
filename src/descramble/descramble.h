// The descrambler and the program's three stored scrambled texts.
#pragma once

#include <string>
#include <string_view>

namespace qvod {

// Returns the plain text of text: the odd-position pass, the riffle pass and the
// password step. A password suffix that does not match password shows
// "密码错误，请核对！" and gives an empty text. Texts are GBK.
std::string Descramble(std::string_view text, std::string_view password = {});

// The stored scrambled texts (64, 137 and 216 bytes).
extern const std::string_view ScrambledCaption;
extern const std::string_view ScrambledLinkTarget;
extern const std::string_view ScrambledBanner;

// Return the plain texts: each stored text descrambled twice with an empty password.
std::string CaptionText();
std::string LinkTarget();
std::string BannerText();

}  // namespace qvod
