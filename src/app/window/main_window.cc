#include "app/window/main_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <limits>
#include <map>

#include "app/startup.h"
#include "app/window/hyperlink_box.h"
#include "extract/channels.h"
#include "output/address_list.h"
#include "output/seed_files.h"

namespace qvod {
namespace {

enum class Kind { kGroup, kOneLineEdit, kMultiLineEdit, kButton, kLabel, kLink };

struct ControlEntry {
  const char8_t* name;
  Kind kind;
  const char8_t* parent;  // nullptr: the window
  QRect geometry;
  const char8_t* text;
  void (*on_click)();
};

// Every control of the window, parents before their children.
const ControlEntry kControls[] = {
    {u8"分组框1", Kind::kGroup, nullptr, {8, 8, 472, 248}, u8"", nullptr},
    {u8"编辑框1",
     Kind::kOneLineEdit,
     u8"分组框1",
     {8, 16, 384, 24},
     u8"http://www.example-movies.test/movie.asp?id=4983",
     nullptr},
    {u8"按钮2", Kind::kButton, u8"分组框1", {400, 16, 64, 24}, u8"清除", OnClearClicked},
    {u8"编辑框2", Kind::kMultiLineEdit, u8"分组框1", {8, 56, 456, 176}, u8"", nullptr},
    {u8"分组框2", Kind::kGroup, nullptr, {8, 264, 224, 64}, u8"查询", nullptr},
    {u8"查询1", Kind::kButton, u8"分组框2", {24, 24, 48, 24}, u8"通道1", OnChannel1Clicked},
    {u8"查询2", Kind::kButton, u8"分组框2", {88, 24, 48, 24}, u8"通道2", OnChannel2Clicked},
    {u8"查询3", Kind::kButton, u8"分组框2", {160, 24, 48, 24}, u8"通道3", OnChannel3Clicked},
    {u8"分组框3", Kind::kGroup, nullptr, {240, 264, 240, 64}, u8"操作", nullptr},
    {u8"保存地址", Kind::kButton, u8"分组框3", {16, 24, 64, 24}, u8"保存地址", SaveAddressList},
    {u8"一键转种", Kind::kButton, u8"分组框3", {96, 24, 64, 24}, u8"一键转种", WriteSeedFiles},
    {u8"按钮1", Kind::kButton, u8"分组框3", {176, 24, 56, 24}, u8"强制结束", OnForceQuitClicked},
    {u8"分组框4", Kind::kGroup, nullptr, {8, 336, 472, 48}, u8"改名", nullptr},
    {u8"编辑框3", Kind::kOneLineEdit, u8"分组框4", {64, 16, 112, 24}, u8"", nullptr},
    {u8"标签1", Kind::kLabel, u8"分组框4", {216, 16, 16, 24}, u8"改", nullptr},
    {u8"编辑框4", Kind::kOneLineEdit, u8"分组框4", {264, 16, 112, 24}, u8"", nullptr},
    {u8"批量改名", Kind::kButton, u8"分组框4", {408, 16, 56, 24}, u8"批量改名", BatchRename},
    {u8"标签2", Kind::kLabel, nullptr, {8, 384, 416, 16}, u8"", nullptr},
    {u8"超级链接框1", Kind::kLink, nullptr, {424, 384, 56, 16}, u8"版本V1.0", nullptr},
};

const QColor kSilverText(192, 192, 192);

// A CJK face first, so that the captions render wherever such a font exists.
QFont ChineseFont(int pixel_size) {
  QFont font;
  font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("Droid Sans Fallback"), QStringLiteral("AR PL UMing CN")});
  font.setPixelSize(pixel_size);
  font.setWeight(QFont::Normal);
  return font;
}

// Edit boxes: black on white, and no visible selection without the focus.
void SetEditPalette(QWidget* edit) {
  QPalette palette = edit->palette();
  palette.setColor(QPalette::All, QPalette::Base, Qt::white);
  palette.setColor(QPalette::All, QPalette::Text, Qt::black);
  palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  edit->setPalette(palette);
}

void SetTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  widget->setPalette(palette);
}

QLineEdit* MakeOneLineEdit(QWidget* parent, int pixel_size) {
  auto* edit = new QLineEdit(parent);
  edit->setFont(ChineseFont(pixel_size));
  edit->setMaxLength(std::numeric_limits<int>::max());
  SetEditPalette(edit);
  return edit;
}

QPlainTextEdit* MakeResultBox(QWidget* parent) {
  auto* edit = new QPlainTextEdit(parent);
  edit->setFont(ChineseFont(14));
  edit->setFrameStyle(QFrame::Box | QFrame::Plain);
  edit->setLineWidth(1);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  SetEditPalette(edit);
  return edit;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("MainWindow"));
  setFixedSize(kClientSize);
  setFont(ChineseFont(12));

  std::map<std::u8string_view, QWidget*> by_name;
  for (const ControlEntry& entry : kControls) {
    QWidget* parent_widget = entry.parent == nullptr ? this : by_name.at(entry.parent);
    const QString text = QString::fromUtf8(entry.text);
    QWidget* widget = nullptr;
    switch (entry.kind) {
      case Kind::kGroup:
        widget = new QGroupBox(text, parent_widget);
        break;
      case Kind::kOneLineEdit: {
        QLineEdit* edit = MakeOneLineEdit(parent_widget, 14);
        edit->setText(text);
        edit->setCursorPosition(0);
        widget = edit;
        break;
      }
      case Kind::kMultiLineEdit:
        result_box_ = MakeResultBox(parent_widget);
        result_box_->setPlainText(text);
        widget = result_box_;
        break;
      case Kind::kButton: {
        auto* button = new QPushButton(text, parent_widget);
        if (entry.on_click != nullptr) {
          connect(button, &QPushButton::clicked, this, [proc = entry.on_click] { proc(); });
        }
        widget = button;
        break;
      }
      case Kind::kLabel: {
        auto* label = new QLabel(text, parent_widget);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setFrameShape(QFrame::NoFrame);
        widget = label;
        break;
      }
      case Kind::kLink:
        version_link_ = new HyperlinkBox(parent_widget);
        version_link_->SetCaption(text);
        widget = version_link_;
        break;
    }
    widget->setObjectName(QString::fromUtf8(entry.name));
    widget->setGeometry(entry.geometry);
    by_name[entry.name] = widget;
  }

  address_box_ = qobject_cast<QLineEdit*>(by_name.at(u8"编辑框1"));
  address_box_->setFont(ChineseFont(19));
  find_box_ = qobject_cast<QLineEdit*>(by_name.at(u8"编辑框3"));
  replace_box_ = qobject_cast<QLineEdit*>(by_name.at(u8"编辑框4"));
  banner_label_ = qobject_cast<QLabel*>(by_name.at(u8"标签2"));
  SetTextColor(banner_label_, kSilverText);
  SetTextColor(by_name.at(u8"标签1"), Qt::black);

  CentreOnScreen();
}

void MainWindow::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    return;
  }
  // The position of a top-level window is that of its frame, so the outer size
  // is what is centred.
  QRect outer(QPoint(), kOuterSize);
  outer.moveCenter(screen->availableGeometry().center());
  move(outer.topLeft());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!destroying_ran_) {
    destroying_ran_ = true;
    if (on_destroying_) {
      on_destroying_();
    }
  }
  event->accept();
}

}  // namespace qvod
