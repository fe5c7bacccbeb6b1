#include "output/address_list.h"

#include <memory>
#include <string>

#include "app/controls.h"
#include "extract/text_helpers.h"
#include "output/file_io.h"
#include "platform/codepage.h"
#include "platform/services.h"

namespace qvod {
namespace {

// 信息：
constexpr char kInformationCaption[] = "\xD0\xC5\xCF\xA2\xA3\xBA";
// 请勿进行错误的操作
constexpr char kEmptyFindText[] =
    "\xC7\xEB\xCE\xF0\xBD\xF8\xD0\xD0\xB4\xED\xCE\xF3\xB5\xC4\xB2\xD9\xD7\xF7";
// 禁止修改单个点，以防文件后缀错误，敬请谅解
constexpr char kLoneDot[] =
    "\xBD\xFB\xD6\xB9\xD0\xDE\xB8\xC4\xB5\xA5\xB8\xF6\xB5\xE3\xA3\xAC\xD2\xD4\xB7\xC0\xCE\xC4"
    "\xBC\xFE\xBA\xF3\xD7\xBA\xB4\xED\xCE\xF3\xA3\xAC\xBE\xB4\xC7\xEB\xC1\xC2\xBD\xE2";

}  // namespace

void SaveAddressList() {
  const std::string text = GetControls()->Text(Control::kResultBox);
  if (text.empty()) {
    return;
  }
  // Without a desktop directory the path would fall to the file-system root;
  // nothing is written instead.
  const std::string desktop = platform::GetServices()->DesktopDirectory();
  if (desktop.empty()) {
    return;
  }
  SaveAddressListTo(desktop + "/" + platform::GbkToUtf8(kAddressListName), text);
}

bool SaveAddressListTo(const std::string& path, std::string_view text) {
  return WriteFileWhole(path, text);
}

void BatchRename() {
  const std::shared_ptr<Controls> controls = GetControls();
  const std::string find = controls->Text(Control::kFindBox);
  if (find.empty() || find == ".") {
    platform::GetServices()->ShowMessage(find.empty() ? kEmptyFindText : kLoneDot,
                                         kInformationCaption,
                                         platform::MessageStyle::kInformationOk);
    return;
  }
  const std::string replacement = controls->Text(Control::kReplaceBox);
  controls->SetText(Control::kResultBox,
                    ReplacePairs(controls->Text(Control::kResultBox), find, replacement));
  controls->SetText(Control::kFindBox, {});
  controls->SetText(Control::kReplaceBox, {});
}

}  // namespace qvod
