#include "app/window/qt_controls.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "app/window/gui_thread.h"
#include "app/window/hyperlink_box.h"
#include "platform/codepage.h"

namespace qvod {
namespace {

constexpr char32_t kLoneCr = platform::kStrayByteBase + u'\r';
constexpr char32_t kLoneLf = platform::kStrayByteBase + u'\n';
// Lines that arrive in a stream are painted together at most this often;
// painting the box after every line would cost more than the lines themselves.
constexpr int kResultBoxRepaintMs = 30;

QColor ToQColor(Rgb color) { return QColor(color.red, color.green, color.blue); }

QLineEdit* LineEditOf(MainWindow& window, Control control) {
  switch (control) {
    case Control::kAddressBox:
      return window.AddressBox();
    case Control::kFindBox:
      return window.FindBox();
    case Control::kReplaceBox:
      return window.ReplaceBox();
    default:
      return nullptr;
  }
}

void SetWindowTextColor(QWidget* widget, QPalette::ColorRole role, Rgb color) {
  QPalette palette = widget->palette();
  palette.setColor(role, ToQColor(color));
  widget->setPalette(palette);
}

}  // namespace

QString QStringFromGbk(std::string_view gbk) {
  return QString::fromStdU16String(platform::GbkToUtf16(gbk));
}

std::string GbkFromQString(const QString& text) {
  return platform::Utf16ToGbk(text.toStdU16String());
}

QString ResultBoxTextFromGbk(std::string_view gbk) {
  const std::u16string text = platform::GbkToUtf16(gbk);
  QString out;
  out.reserve(static_cast<qsizetype>(text.size()));
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      out += QChar::ParagraphSeparator;
      ++i;
    } else if (c == u'\r') {
      out += QChar::fromUcs4(kLoneCr);
    } else if (c == u'\n') {
      out += QChar::fromUcs4(kLoneLf);
    } else {
      out += QChar(c);
    }
  }
  return out;
}

std::string GbkFromResultBoxText(const QString& raw) {
  std::u16string text;
  text.reserve(static_cast<std::size_t>(raw.size()));
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QChar c = raw.at(i);
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
      text += u"\r\n";
    } else if (c.isHighSurrogate() && i + 1 < raw.size() && raw.at(i + 1).isLowSurrogate()) {
      const char32_t code = QChar::surrogateToUcs4(c, raw.at(i + 1));
      if (code == kLoneCr) {
        text += u'\r';
      } else if (code == kLoneLf) {
        text += u'\n';
      } else {
        text += c.unicode();
        text += raw.at(i + 1).unicode();
      }
      ++i;
    } else {
      text += c.unicode();
    }
  }
  return platform::Utf16ToGbk(text);
}

QtControls::QtControls(MainWindow* window) : window_(window) {}

void QtControls::Detach() { detached_ = true; }

template <typename F>
void QtControls::WithWindow(F&& f) {
  if (detached_) {
    return;
  }
  RunOnGuiThread([this, &f] {
    if (!detached_ && window_ != nullptr && !QCoreApplication::closingDown()) {
      f(*window_);
    }
  });
}

std::string QtControls::Text(Control control) {
  std::string text;
  WithWindow([&](MainWindow& window) {
    switch (control) {
      case Control::kAddressBox:
      case Control::kFindBox:
      case Control::kReplaceBox:
        text = GbkFromQString(LineEditOf(window, control)->text());
        break;
      case Control::kResultBox:
        text = GbkFromResultBoxText(window.ResultBox()->document()->toRawText());
        break;
      case Control::kBannerLabel:
        text = GbkFromQString(window.BannerLabel()->text());
        break;
      case Control::kVersionLink:
        text = GbkFromQString(window.VersionLink()->Caption());
        break;
    }
  });
  return text;
}

void QtControls::SetText(Control control, std::string_view text) {
  WithWindow([&](MainWindow& window) {
    switch (control) {
      case Control::kAddressBox:
      case Control::kFindBox:
      case Control::kReplaceBox:
        LineEditOf(window, control)->setText(QStringFromGbk(text));
        break;
      case Control::kResultBox:
        window.ResultBox()->setPlainText(ResultBoxTextFromGbk(text));
        break;
      case Control::kBannerLabel:
        window.BannerLabel()->setText(QStringFromGbk(text));
        break;
      case Control::kVersionLink:
        window.VersionLink()->SetCaption(QStringFromGbk(text));
        break;
    }
  });
}

void QtControls::AppendResult(std::string_view text) {
  WithWindow([&](MainWindow& window) {
    QPlainTextEdit* box = window.ResultBox();
    DeferResultBoxPainting(box);
    QTextDocument* document = box->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    // The user cannot undo the insertion; dropping the undo history also keeps
    // an undo of an earlier edit from landing at shifted positions.
    document->setUndoRedoEnabled(false);
    cursor.insertText(ResultBoxTextFromGbk(text));
    document->setUndoRedoEnabled(true);
    box->setTextCursor(cursor);
    box->ensureCursorVisible();
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
  });
}

void QtControls::DeferResultBoxPainting(QPlainTextEdit* box) {
  if (repaint_timer_ == nullptr) {
    repaint_timer_ = new QTimer(box);
    repaint_timer_->setSingleShot(true);
    repaint_timer_->setInterval(kResultBoxRepaintMs);
    QObject::connect(repaint_timer_, &QTimer::timeout, box,
                     [box] { box->setUpdatesEnabled(true); });
  }
  if (!repaint_timer_->isActive()) {
    box->setUpdatesEnabled(false);
    repaint_timer_->start();
  }
}

void QtControls::SetWindowCaption(std::string_view text) {
  WithWindow([&](MainWindow& window) { window.setWindowTitle(QStringFromGbk(text)); });
}

void QtControls::SetLinkAddress(std::string_view address) {
  WithWindow(
      [&](MainWindow& window) { window.VersionLink()->SetAddress(QStringFromGbk(address)); });
}

void QtControls::SetTextColor(Control control, Rgb color) {
  WithWindow([&](MainWindow& window) {
    switch (control) {
      case Control::kAddressBox:
      case Control::kFindBox:
      case Control::kReplaceBox:
        SetWindowTextColor(LineEditOf(window, control), QPalette::Text, color);
        break;
      case Control::kResultBox:
        SetWindowTextColor(window.ResultBox(), QPalette::Text, color);
        break;
      case Control::kBannerLabel:
        SetWindowTextColor(window.BannerLabel(), QPalette::WindowText, color);
        break;
      case Control::kVersionLink:
        window.VersionLink()->SetNormalColor(ToQColor(color));
        break;
    }
  });
}

void QtControls::SetBusy(bool busy) {
  WithWindow([&](MainWindow&) {
    if (busy == busy_) {
      return;
    }
    busy_ = busy;
    if (busy) {
      QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  });
}

}  // namespace qvod
