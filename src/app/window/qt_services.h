// QtServices: the desktop services of the core over Qt: the XDG desktop
// directory, QMessageBox, and QDesktopServices for folders and web addresses.
// Callable from any thread; whatever needs the window's thread runs there.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"

class QApplication;

namespace qvod {

class QtServices : public platform::Services {
 public:
  using Message = platform::HeadlessServices::Message;

  // Returns the XDG desktop directory (UTF-8); never creates it.
  std::string DesktopDirectory() override;
  // Shows an application-modal QMessageBox without parent: the caption given
  // ("信息：" when empty), the information icon for kInformationOk and none
  // otherwise, OK or Yes/No with Yes the default. Escape answers No.
  platform::MessageAnswer ShowMessage(std::string_view gbk_text, std::string_view gbk_caption,
                                      platform::MessageStyle style) override;
  // Opens path (UTF-8) in the file manager.
  bool OpenFolder(const std::string& path) override;
  // Opens url (UTF-8) in the browser; when the desktop cannot, starts the
  // default handler of text/html from the freedesktop MIME database.
  bool OpenUrl(const std::string& url) override;

  // For tests: the next message is not shown but recorded and answered with
  // answer. Answers queue up in the order set.
  void SetNextAnswer(platform::MessageAnswer answer);
  // Returns the messages answered by SetNextAnswer, oldest first.
  std::vector<Message> AnsweredMessages() const;

 private:
  mutable std::mutex mutex_;
  std::deque<platform::MessageAnswer> next_answers_;
  std::vector<Message> answered_;
};

// Loads Qt's own zh_CN translation (standard buttons read 是/否/确定) into app.
// Returns false when the translation is not installed.
bool InstallQtChineseTranslation(QApplication& app);

// Returns the command (program and arguments) that the desktop entry's Exec
// line gives for url: %u %U %f %F become url, %% becomes %, other field codes
// go; url is appended when the line has no file or URL code. Empty when the
// line is empty.
QStringList DesktopExecCommand(const QString& exec_line, const QString& url);

// Returns the Exec line of the desktop entry desktop_id (e.g. "firefox.desktop")
// found in the XDG applications folders, or nothing.
std::optional<QString> DesktopEntryExec(const QString& desktop_id);

// Starts the default handler of text/html (xdg-mime) on url, detached. Returns
// true when it was started.
bool StartDefaultBrowser(const QString& url);

}  // namespace qvod
