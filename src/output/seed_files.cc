#include "output/seed_files.h"

#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "app/controls.h"
#include "output/file_io.h"
#include "platform/codepage.h"
#include "platform/services.h"

namespace qvod {
namespace {

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<qsed version=\"5.0.77.0\"><entry><ref href=\"";
constexpr std::string_view kTrailer = "\"/></entry></qsed>";
static_assert(kHeader.size() == 83 && kTrailer.size() == 18);

constexpr std::string_view kSeedExtension = ".qsed";
constexpr std::string_view kLineBreak = "\r\n";

// 信息：
constexpr char kInformationCaption[] = "\xD0\xC5\xCF\xA2\xA3\xBA";
// 使用需知
constexpr char kNoticeCaption[] = "\xCA\xB9\xD3\xC3\xD0\xE8\xD6\xAA";
// 种子文件名不允许存在两个点或者没有点，|超级战舰.预告片.rmvb|或|超级战舰rmvb|
// CR LF 为了确保转换质量，如有上述情况请使用批量更名功能！
constexpr char kNotice[] =
    "\xD6\xD6\xD7\xD3\xCE\xC4\xBC\xFE\xC3\xFB\xB2\xBB\xD4\xCA\xD0\xED\xB4\xE6\xD4\xDA\xC1\xBD"
    "\xB8\xF6\xB5\xE3\xBB\xF2\xD5\xDF\xC3\xBB\xD3\xD0\xB5\xE3\xA3\xAC|"
    "\xB3\xAC\xBC\xB6\xD5\xBD\xBD\xA2.\xD4\xA4\xB8\xE6\xC6\xAC.rmvb"
    "|\xBB\xF2|\xB3\xAC\xBC\xB6\xD5\xBD\xBD\xA2rmvb|"
    "\r\n"
    "\xCE\xAA\xC1\xCB\xC8\xB7\xB1\xA3\xD7\xAA\xBB\xBB\xD6\xCA\xC1\xBF\xA3\xAC\xC8\xE7\xD3\xD0"
    "\xC9\xCF\xCA\xF6\xC7\xE9\xBF\xF6\xC7\xEB\xCA\xB9\xD3\xC3\xC5\xFA\xC1\xBF\xB8\xFC\xC3\xFB"
    "\xB9\xA6\xC4\xDC\xA3\xA1";
// 没有任何种子文件
constexpr char kNoSeedFiles[] = "\xC3\xBB\xD3\xD0\xC8\xCE\xBA\xCE\xD6\xD6\xD7\xD3\xCE\xC4\xBC\xFE";
// 请选择正确的种子文件！
constexpr char kChooseProperSeedFiles[] =
    "\xC7\xEB\xD1\xA1\xD4\xF1\xD5\xFD\xC8\xB7\xB5\xC4\xD6\xD6\xD7\xD3\xCE\xC4\xBC\xFE\xA3\xA1";

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

unsigned char FoldCase(unsigned char c) {
  return IsAsciiLetter(c) ? static_cast<unsigned char>(c | 0x20) : c;
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view what,
               bool case_insensitive) {
  if (text.size() - at < what.size()) {
    return false;
  }
  for (std::size_t k = 0; k < what.size(); ++k) {
    const auto a = static_cast<unsigned char>(text[at + k]);
    const auto b = static_cast<unsigned char>(what[k]);
    if (a != b && !(case_insensitive && FoldCase(a) == FoldCase(b))) {
      return false;
    }
  }
  return true;
}

// Returns the byte position of the first occurrence of what that begins a
// character of text, or npos. An empty what occurs nowhere.
std::size_t FindByCharacters(std::string_view text, std::string_view what, bool case_insensitive,
                             std::size_t from = 0) {
  if (what.empty()) {
    return std::string_view::npos;
  }
  std::size_t i = from;
  while (i < text.size()) {
    if (MatchesAt(text, i, what, case_insensitive)) {
      return i;
    }
    i += platform::IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> pieces;
  if (text.empty()) {
    return pieces;
  }
  if (delimiter.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = FindByCharacters(text, delimiter, false, start);
    if (at == std::string_view::npos) {
      break;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + delimiter.size();
  }
  if (start < text.size()) {
    pieces.emplace_back(text.substr(start));
  }
  return pieces;
}

int CollectNames(std::string_view text, std::string_view delimiter, std::string_view marker,
                 std::vector<std::string>& names, bool case_insensitive,
                 std::int32_t maximum_length, std::string_view prefix, std::string_view suffix,
                 bool delimiter_in_front, bool marker_behind) {
  names.clear();
  const std::vector<std::string> pieces = SplitText(text, delimiter);
  for (std::size_t k = 1; k < pieces.size(); ++k) {
    const std::string& piece = pieces[k];
    const std::size_t at = FindByCharacters(piece, marker, case_insensitive);
    if (at == std::string_view::npos) {
      continue;
    }
    // A negative maximum is "not 0" too, and no name is shorter than it.
    if (maximum_length != 0 &&
        (maximum_length < 0 || at > static_cast<std::size_t>(maximum_length))) {
      continue;
    }
    std::string entry;
    if (delimiter_in_front) {
      entry.append(delimiter);
    }
    entry.append(prefix).append(piece, 0, at).append(suffix);
    if (marker_behind) {
      entry.append(marker);
    }
    names.push_back(std::move(entry));
  }
  return static_cast<int>(names.size());
}

std::string SeedFileContent(std::string_view link_line) {
  std::string content;
  content.reserve(kHeader.size() + link_line.size() + kTrailer.size());
  content.append(kHeader).append(link_line).append(kTrailer);
  return content;
}

std::optional<std::string> SeedFilePath(const std::string& folder, std::string_view gbk_name) {
  std::string file_name = platform::GbkToUtf8(gbk_name);
  file_name.append(kSeedExtension);
  // The name comes from a web page: it must never reach outside the folder.
  if (file_name.find_first_of(std::string_view("/\0", 2)) != std::string::npos ||
      file_name == "." || file_name == ".." || file_name.size() > NAME_MAX) {
    return std::nullopt;
  }
  return folder + "/" + file_name;
}

SeedReport WriteSeedFilesTo(const std::string& folder, std::string_view text) {
  SeedReport report;
  std::error_code ignored;
  std::filesystem::create_directory(folder, ignored);

  const std::vector<std::string> lines = SplitText(text, kLineBreak);
  std::vector<std::string> names;
  report.names = CollectNames(text, "|", ".", names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    // A name without a line of its own gets no file.
    const std::optional<std::string> path = SeedFilePath(folder, names[i]);
    if (i < lines.size() && path && WriteFileWhole(*path, SeedFileContent(lines[i]))) {
      ++report.written;
    } else {
      report.skipped.push_back(names[i]);
    }
  }
  return report;
}

void WriteSeedFiles() {
  const std::shared_ptr<platform::Services> services = platform::GetServices();
  if (services->ShowMessage(kNotice, kNoticeCaption, platform::MessageStyle::kYesNo) !=
      platform::MessageAnswer::kYes) {
    return;
  }
  const std::string text = GetControls()->Text(Control::kResultBox);
  if (text.empty()) {
    services->ShowMessage(kNoSeedFiles, kInformationCaption,
                          platform::MessageStyle::kInformationOk);
    return;
  }
  // Without a desktop directory the folder would fall to the file-system root;
  // nothing is written instead.
  const std::string desktop = services->DesktopDirectory();
  if (desktop.empty()) {
    return;
  }
  const std::string folder = desktop + "/" + platform::GbkToUtf8(kSeedFolderName);
  const SeedReport report = WriteSeedFilesTo(folder, text);
  if (report.names == 0) {
    services->ShowMessage(kChooseProperSeedFiles, kInformationCaption, platform::MessageStyle::kOk);
    return;
  }
  services->OpenFolder(folder);
}

}  // namespace qvod
