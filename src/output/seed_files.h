// The seed file writer: one ".qsed" file per link line of the result box, in
// the seed folder 种子文件 on the desktop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvod {

// The seed folder's name in GBK: 种子文件
inline constexpr char kSeedFolderName[] = "\xD6\xD6\xD7\xD3\xCE\xC4\xBC\xFE";

// Returns text cut at every occurrence of delimiter by the split rule: an empty
// text gives no pieces, an empty delimiter the whole text; empty pieces stay,
// but a text that ends with the delimiter gives no empty last piece.
std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter);

// Fills names (emptied first) with the name of every piece of text after the
// first, cut at delimiter: the bytes before the first marker of the piece; a
// piece without the marker gives none. Returns the number of names.
int CollectNames(std::string_view text, std::string_view delimiter, std::string_view marker,
                 std::vector<std::string>& names, bool case_insensitive = false,
                 std::int32_t maximum_length = 0, std::string_view prefix = {},
                 std::string_view suffix = {}, bool delimiter_in_front = false,
                 bool marker_behind = false);

// Returns the bytes of the seed file for link_line: the 83-byte header, the
// line unchanged, the 18-byte trailer.
std::string SeedFileContent(std::string_view link_line);

// Returns the UTF-8 path of the seed file named gbk_name in folder: folder, "/",
// the name in UTF-8 and ".qsed". Returns nothing when the name cannot name a
// file directly inside folder: it holds "/" or NUL, or the file name is longer
// than NAME_MAX bytes.
std::optional<std::string> SeedFilePath(const std::string& folder, std::string_view gbk_name);

// What writing the seed files of one text did.
struct SeedReport {
  int names = 0;                     // names found
  int written = 0;                   // files written
  std::vector<std::string> skipped;  // GBK names whose file could not be written
};

// Writes the seed files of text into folder (a UTF-8 path, created when
// missing, one level deep). No dialogs, no folder opened.
SeedReport WriteSeedFilesTo(const std::string& folder, std::string_view text);

// 一键转种: asks for confirmation, then writes the seed files of the result box
// into the seed folder on the desktop and opens the folder. Writes and opens
// nothing when the desktop directory is unknown.
void WriteSeedFiles();

}  // namespace qvod
