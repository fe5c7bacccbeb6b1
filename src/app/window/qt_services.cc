#include "app/window/qt_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTranslator>
#include <QUrl>

#include "app/window/gui_thread.h"
#include "app/window/qt_controls.h"

namespace qvod {
namespace {

using platform::MessageAnswer;
using platform::MessageStyle;

constexpr char kDefaultCaption[] = "\xD0\xC5\xCF\xA2\xA3\xBA";  // 信息：
constexpr int kMimeQueryTimeoutMs = 5000;

// Returns the value of a desktop entry with its escapes (\s \n \t \r \\) resolved.
QString UnescapeDesktopValue(const QString& value) {
  QString out;
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value.at(i) != u'\\' || i + 1 == value.size()) {
      out += value.at(i);
      continue;
    }
    const QChar next = value.at(++i);
    if (next == u's') {
      out += u' ';
    } else if (next == u'n') {
      out += u'\n';
    } else if (next == u't') {
      out += u'\t';
    } else if (next == u'r') {
      out += u'\r';
    } else {
      out += next;
    }
  }
  return out;
}

// Splits an Exec line into its arguments: blanks separate, double quotes group,
// and inside quotes a backslash takes the next character literally.
QStringList SplitExecLine(const QString& line) {
  QStringList arguments;
  QString current;
  bool in_argument = false;
  bool quoted = false;
  for (qsizetype i = 0; i < line.size(); ++i) {
    const QChar c = line.at(i);
    if (quoted) {
      if (c == u'\\' && i + 1 < line.size()) {
        current += line.at(++i);
      } else if (c == u'"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == u'"') {
      quoted = true;
      in_argument = true;
    } else if (c == u' ' || c == u'\t') {
      if (in_argument) {
        arguments << current;
        current.clear();
        in_argument = false;
      }
    } else {
      current += c;
      in_argument = true;
    }
  }
  if (in_argument) {
    arguments << current;
  }
  return arguments;
}

}  // namespace

std::string QtServices::DesktopDirectory() {
  return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
}

MessageAnswer QtServices::ShowMessage(std::string_view gbk_text, std::string_view gbk_caption,
                                      MessageStyle style) {
  {
    std::lock_guard lock(mutex_);
    if (!next_answers_.empty()) {
      const MessageAnswer answer = next_answers_.front();
      next_answers_.pop_front();
      answered_.push_back({std::string(gbk_text), std::string(gbk_caption), style});
      return answer;
    }
  }
  // Without a window thread to show it on, nobody can answer: the cautious answer.
  MessageAnswer answer = style == MessageStyle::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
  RunOnGuiThread([&] {
    if (QCoreApplication::closingDown()) {
      return;
    }
    const QString caption =
        QStringFromGbk(gbk_caption.empty() ? std::string_view(kDefaultCaption) : gbk_caption);
    QMessageBox box(QMessageBox::NoIcon, caption, QStringFromGbk(gbk_text));
    box.setWindowModality(Qt::ApplicationModal);
    if (style == MessageStyle::kYesNo) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
    } else {
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
      if (style == MessageStyle::kInformationOk) {
        box.setIcon(QMessageBox::Information);
      }
    }
    const int result = box.exec();
    if (style == MessageStyle::kYesNo) {
      answer = result == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
    }
  });
  return answer;
}

bool QtServices::OpenFolder(const std::string& path) {
  bool opened = false;
  RunOnGuiThread([&] {
    opened = QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  });
  return opened;
}

bool QtServices::OpenUrl(const std::string& url) {
  const QString address = QString::fromStdString(url);
  if (address.isEmpty()) {
    return false;
  }
  bool opened = false;
  RunOnGuiThread(
      [&] { opened = QDesktopServices::openUrl(QUrl(address)) || StartDefaultBrowser(address); });
  return opened;
}

void QtServices::SetNextAnswer(MessageAnswer answer) {
  std::lock_guard lock(mutex_);
  next_answers_.push_back(answer);
}

std::vector<QtServices::Message> QtServices::AnsweredMessages() const {
  std::lock_guard lock(mutex_);
  return answered_;
}

bool InstallQtChineseTranslation(QApplication& app) {
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

QStringList DesktopExecCommand(const QString& exec_line, const QString& url) {
  QStringList command;
  bool url_placed = false;
  for (const QString& argument : SplitExecLine(exec_line)) {
    QString expanded;
    bool dropped_code = false;
    for (qsizetype i = 0; i < argument.size(); ++i) {
      if (argument.at(i) != u'%' || i + 1 == argument.size()) {
        expanded += argument.at(i);
        continue;
      }
      const QChar code = argument.at(++i);
      if (code == u'%') {
        expanded += u'%';
      } else if (code == u'u' || code == u'U' || code == u'f' || code == u'F') {
        expanded += url;
        url_placed = true;
      } else {
        dropped_code = true;  // %i, %c, %k and the deprecated codes stand for nothing here
      }
    }
    if (!(dropped_code && expanded.isEmpty())) {
      command << expanded;
    }
  }
  if (!command.isEmpty() && !url_placed) {
    command << url;
  }
  return command;
}

std::optional<QString> DesktopEntryExec(const QString& desktop_id) {
  if (desktop_id.isEmpty() || desktop_id.contains(u'/')) {
    return std::nullopt;
  }
  const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktop_id);
  if (path.isEmpty()) {
    return std::nullopt;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    return std::nullopt;
  }
  bool in_entry = false;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.startsWith(u'[')) {
      in_entry = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    if (!in_entry || !line.startsWith(QStringLiteral("Exec"))) {
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0 || line.left(equals).trimmed() != QStringLiteral("Exec")) {
      continue;
    }
    return UnescapeDesktopValue(line.mid(equals + 1).trimmed());
  }
  return std::nullopt;
}

bool StartDefaultBrowser(const QString& url) {
  QProcess query;
  query.start(QStringLiteral("xdg-mime"),
              {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
  if (!query.waitForFinished(kMimeQueryTimeoutMs) || query.exitCode() != 0) {
    query.kill();
    query.waitForFinished(1000);
    return false;
  }
  const QString answer = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
  const QString desktop_id = answer.section(u';', 0, 0).section(u'\n', 0, 0).trimmed();
  const std::optional<QString> exec = DesktopEntryExec(desktop_id);
  if (!exec) {
    return false;
  }
  QStringList command = DesktopExecCommand(*exec, url);
  if (command.isEmpty()) {
    return false;
  }
  const QString program = command.takeFirst();
  return QProcess::startDetached(program, command);
}

}  // namespace qvod
