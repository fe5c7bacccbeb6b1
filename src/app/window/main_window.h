// MainWindow: the program's only window, 489 x 400 client pixels, fixed, centred,
// with every control in place (each named by its objectName, e.g. 编辑框1) and
// the click handlers of its buttons bound.
#pragma once

#include <QWidget>
#include <functional>

class QCloseEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace qvod {

class HyperlinkBox;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // The client area and the outer size, frame and title bar included, that the
  // window is centred by.
  static constexpr QSize kClientSize{489, 400};
  static constexpr QSize kOuterSize{495, 426};

  explicit MainWindow(QWidget* parent = nullptr);

  QLineEdit* AddressBox() const { return address_box_; }       // 编辑框1
  QPlainTextEdit* ResultBox() const { return result_box_; }    // 编辑框2
  QLineEdit* FindBox() const { return find_box_; }             // 编辑框3
  QLineEdit* ReplaceBox() const { return replace_box_; }       // 编辑框4
  QLabel* BannerLabel() const { return banner_label_; }        // 标签2
  HyperlinkBox* VersionLink() const { return version_link_; }  // 超级链接框1

  // Sets what runs when the window is about to go (its will-be-destroyed event).
  void SetOnDestroying(std::function<void()> handler) { on_destroying_ = std::move(handler); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CentreOnScreen();

  QLineEdit* address_box_ = nullptr;
  QPlainTextEdit* result_box_ = nullptr;
  QLineEdit* find_box_ = nullptr;
  QLineEdit* replace_box_ = nullptr;
  QLabel* banner_label_ = nullptr;
  HyperlinkBox* version_link_ = nullptr;
  std::function<void()> on_destroying_;
  bool destroying_ran_ = false;
};

}  // namespace qvod
