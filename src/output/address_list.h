// The address list file and batch rename: the two actions of the main window
// that work on the whole text of the result box.
#pragma once

#include <string>
#include <string_view>

namespace qvod {

// The file name of the address list, in GBK: 种子地址.txt
inline constexpr char kAddressListName[] = "\xD6\xD6\xD7\xD3\xB5\xD8\xD6\xB7.txt";

// 保存地址: writes the result box, byte for byte, to 种子地址.txt in the desktop
// directory; nothing when the box is empty or the desktop directory is
// unknown; reports nothing.
void SaveAddressList();

// Writes text whole to path (UTF-8 path): a temporary file in the same folder,
// then a rename over the target. Returns false (and leaves any earlier file as
// it was, with no temporary file behind) on failure.
bool SaveAddressListTo(const std::string& path, std::string_view text);

// 批量改名: replaces the text of 编辑框3 by that of 编辑框4 throughout the result
// box, then empties both; refuses an empty find text and a lone ".".
void BatchRename();

}  // namespace qvod
