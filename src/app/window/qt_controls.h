// QtControls: the control operations of the core carried out on MainWindow's
// controls. Callable from any thread: off the window's thread each operation is
// carried over to it with a blocking queued call. Once the window is gone or
// Detach has been called, operations do nothing and reads give empty texts.
//
// The result box holds the core's CR LF line ends as paragraph breaks. So that
// its text reads back byte for byte, CR LF maps to a paragraph break (and back),
// while a lone CR or a lone LF, which are no line break in the box, map to the
// code points U+10FF0D and U+10FF0A (and back), next to the range that the code
// page conversion uses for stray bytes, and show as unknown characters. A line
// separator typed by the user (Shift+Enter) reads back as CR LF.
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <string>
#include <string_view>

#include "app/controls.h"
#include "app/window/main_window.h"

class QPlainTextEdit;

namespace qvod {

class QtControls : public Controls {
 public:
  // Takes the window (window's thread).
  explicit QtControls(MainWindow* window);

  std::string Text(Control control) override;
  void SetText(Control control, std::string_view text) override;
  void AppendResult(std::string_view text) override;
  void SetWindowCaption(std::string_view text) override;
  void SetLinkAddress(std::string_view address) override;
  void SetTextColor(Control control, Rgb color) override;
  void SetBusy(bool busy) override;

  // From now on every operation does nothing and reads give empty texts (the
  // window is closing). Any thread.
  void Detach();

 private:
  // Runs f(window) on the window's thread while the window is there.
  template <typename F>
  void WithWindow(F&& f);

  // Holds back the painting of box for a few tens of milliseconds after the
  // first append of a stream, so that the lines are painted together (window's
  // thread). The text itself changes at once.
  void DeferResultBoxPainting(QPlainTextEdit* box);

  QPointer<MainWindow> window_;     // read on the window's thread only
  QPointer<QTimer> repaint_timer_;  // a child of the result box; window's thread only
  std::atomic<bool> detached_{false};
  bool busy_ = false;  // window's thread only
};

// Returns the result box's form of GBK text (see above).
QString ResultBoxTextFromGbk(std::string_view gbk);

// Returns the GBK text of the result box's raw text (QTextDocument::toRawText).
std::string GbkFromResultBoxText(const QString& raw);

// Returns the QString of GBK text, and back.
QString QStringFromGbk(std::string_view gbk);
std::string GbkFromQString(const QString& text);

}  // namespace qvod
