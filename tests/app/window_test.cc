// The real window offscreen: its controls, the control operations from worker
// threads, the version link, the silver look and the desktop services.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QEventLoop>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/controls.h"
#include "app/shared_state.h"
#include "app/startup.h"
#include "app/window/hyperlink_box.h"
#include "app/window/main_window.h"
#include "app/window/qt_controls.h"
#include "app/window/qt_services.h"
#include "app/window/silver_style.h"
#include "platform/services.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using platform::MessageAnswer;
using platform::MessageStyle;

QString U(const char8_t* utf8) { return QString::fromUtf8(utf8); }

// Runs body on a worker thread while this (the window's) thread keeps
// dispatching events, as the window's thread does while workers run.
void RunOnWorker(const std::function<void()>& body) {
  std::atomic<bool> done = false;
  std::thread worker([&] {
    body();
    done = true;
  });
  const bool ended = QTest::qWaitFor([&] { return done.load(); }, 30000);
  worker.join();
  ASSERT_TRUE(ended) << "the worker did not end";
}

QString WidgetText(const QWidget* widget) {
  if (const auto* w = qobject_cast<const QGroupBox*>(widget)) {
    return w->title();
  }
  if (const auto* w = qobject_cast<const QLineEdit*>(widget)) {
    return w->text();
  }
  if (const auto* w = qobject_cast<const QPlainTextEdit*>(widget)) {
    return w->toPlainText();
  }
  if (const auto* w = qobject_cast<const QPushButton*>(widget)) {
    return w->text();
  }
  if (const auto* w = qobject_cast<const QLabel*>(widget)) {
    return w->text();
  }
  if (const auto* w = qobject_cast<const HyperlinkBox*>(widget)) {
    return w->Caption();
  }
  return QStringLiteral("<unknown kind>");
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSharedState();
    window_ = std::make_unique<MainWindow>();
    controls_ = std::make_shared<QtControls>(window_.get());
    SetControls(controls_);
    services_ = std::make_shared<platform::HeadlessServices>();
    platform::SetServices(services_);
  }
  void TearDown() override {
    SetControls(nullptr);
    platform::SetServices(nullptr);
    ReleaseSharedState();
  }

  template <typename T>
  T* Find(const char8_t* name) {
    return window_->findChild<T*>(U(name));
  }

  std::unique_ptr<MainWindow> window_;
  std::shared_ptr<QtControls> controls_;
  std::shared_ptr<platform::HeadlessServices> services_;
};

TEST_F(WindowTest, EveryControlHasItsNameKindParentPlaceAndText) {
  struct Row {
    const char8_t* name;
    const char* kind;
    const char8_t* parent;  // nullptr: the window
    QRect geometry;
    const char8_t* text;
  };
  const Row rows[] = {
      {u8"分组框1", "QGroupBox", nullptr, {8, 8, 472, 248}, u8""},
      {u8"编辑框1",
       "QLineEdit",
       u8"分组框1",
       {8, 16, 384, 24},
       u8"http://www.example-movies.test/movie.asp?id=4983"},
      {u8"按钮2", "QPushButton", u8"分组框1", {400, 16, 64, 24}, u8"清除"},
      {u8"编辑框2", "QPlainTextEdit", u8"分组框1", {8, 56, 456, 176}, u8""},
      {u8"分组框2", "QGroupBox", nullptr, {8, 264, 224, 64}, u8"查询"},
      {u8"查询1", "QPushButton", u8"分组框2", {24, 24, 48, 24}, u8"通道1"},
      {u8"查询2", "QPushButton", u8"分组框2", {88, 24, 48, 24}, u8"通道2"},
      {u8"查询3", "QPushButton", u8"分组框2", {160, 24, 48, 24}, u8"通道3"},
      {u8"分组框3", "QGroupBox", nullptr, {240, 264, 240, 64}, u8"操作"},
      {u8"保存地址", "QPushButton", u8"分组框3", {16, 24, 64, 24}, u8"保存地址"},
      {u8"一键转种", "QPushButton", u8"分组框3", {96, 24, 64, 24}, u8"一键转种"},
      {u8"按钮1", "QPushButton", u8"分组框3", {176, 24, 56, 24}, u8"强制结束"},
      {u8"分组框4", "QGroupBox", nullptr, {8, 336, 472, 48}, u8"改名"},
      {u8"编辑框3", "QLineEdit", u8"分组框4", {64, 16, 112, 24}, u8""},
      {u8"标签1", "QLabel", u8"分组框4", {216, 16, 16, 24}, u8"改"},
      {u8"编辑框4", "QLineEdit", u8"分组框4", {264, 16, 112, 24}, u8""},
      {u8"批量改名", "QPushButton", u8"分组框4", {408, 16, 56, 24}, u8"批量改名"},
      {u8"标签2", "QLabel", nullptr, {8, 384, 416, 16}, u8""},
      {u8"超级链接框1", "qvod::HyperlinkBox", nullptr, {424, 384, 56, 16}, u8"版本V1.0"},
  };
  for (const Row& row : rows) {
    const QString name = U(row.name);
    SCOPED_TRACE(name.toStdString());
    const QWidget* widget = window_->findChild<QWidget*>(name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), row.kind);
    const QObject* parent =
        row.parent == nullptr ? window_.get() : window_->findChild<QWidget*>(U(row.parent));
    EXPECT_EQ(widget->parent(), parent);
    EXPECT_EQ(widget->geometry(), row.geometry);
    EXPECT_EQ(WidgetText(widget), U(row.text));
  }
  // No control beyond the table.
  qsizetype named = 0;
  for (const QWidget* widget : window_->findChildren<QWidget*>()) {
    named += widget->objectName().isEmpty() || widget->objectName().startsWith("qt_") ? 0 : 1;
  }
  EXPECT_EQ(named, static_cast<qsizetype>(std::size(rows)));
}

TEST_F(WindowTest, WindowIsFixedCentredAndCannotBeMaximised) {
  EXPECT_EQ(window_->minimumSize(), QSize(489, 400));
  EXPECT_EQ(window_->maximumSize(), QSize(489, 400));
  const Qt::WindowFlags flags = window_->windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  // The outer window (frame and title bar included) is centred on the screen.
  const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_NEAR(window_->x() + 495 / 2, centre.x(), 1);
  EXPECT_NEAR(window_->y() + 426 / 2, centre.y(), 1);
  EXPECT_EQ(window_->windowTitle(), QString());
}

TEST_F(WindowTest, EditBoxesUseACjkFaceAndHideTheSelectionWithoutFocus) {
  const struct {
    const char8_t* name;
    int pixel_size;
  } boxes[] = {{u8"编辑框1", 19}, {u8"编辑框2", 14}, {u8"编辑框3", 14}, {u8"编辑框4", 14}};
  for (const auto& box : boxes) {
    const QWidget* edit = Find<QWidget>(box.name);
    SCOPED_TRACE(U(box.name).toStdString());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->font().pixelSize(), box.pixel_size);
    EXPECT_EQ(QFontInfo(edit->font()).family(), QStringLiteral("WenQuanYi Micro Hei"));
    const QPalette& palette = edit->palette();
    EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::Highlight),
              palette.color(QPalette::Inactive, QPalette::Base));
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Text), QColor(Qt::black));
  }
  const auto* result_box = window_->ResultBox();
  EXPECT_EQ(result_box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(result_box->isReadOnly());
  EXPECT_EQ(window_->BannerLabel()->palette().color(QPalette::WindowText), QColor(192, 192, 192));
  EXPECT_EQ(Find<QLabel>(u8"标签1")->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST_F(WindowTest, ClearButtonEmptiesTheAddressBoxOnly) {
  controls_->SetText(Control::kResultBox, "qvod://1|A|a|\r\n");
  QTest::mouseClick(Find<QPushButton>(u8"按钮2"), Qt::LeftButton);
  EXPECT_EQ(window_->AddressBox()->text(), QString());
  EXPECT_EQ(controls_->Text(Control::kResultBox), "qvod://1|A|a|\r\n");
}

TEST_F(WindowTest, TextsRoundTripByteForByteFromAWorker) {
  struct Case {
    const char* name;
    Control control;
    std::string text;
  };
  const Case cases[] = {
      {"link lines", Control::kResultBox, "qvod://1|A|a.rmvb|\r\nqvod://2|B|b.rmvb|\r\n"},
      {"lone CR and LF", Control::kResultBox, "a\rb\nc\r\n\n\r\r\n"},
      {"GBK and stray bytes", Control::kResultBox,
       "\xC7\xEB\xB3\xA2\xCA\xD4\r\n\x81\x20\xFF|\x80\r\n"},
      {"ends in a lead byte", Control::kResultBox, "abc\xC7"},
      {"empty result", Control::kResultBox, ""},
      {"address", Control::kAddressBox, "http://127.0.0.1:8080/\xC7\xEB.asp?id=4983"},
      {"find box stray byte", Control::kFindBox, "x\xFFy"},
      {"replace box", Control::kReplaceBox, "\xB8\xC4"},
      {"banner", Control::kBannerLabel, "\xD2\xF8\xC9\xAB a\xD2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string after_set;
    std::string after_appends;
    RunOnWorker([&] {
      controls_->SetText(c.control, c.text);
      after_set = controls_->Text(c.control);
      if (c.control == Control::kResultBox) {
        // Appended in pieces cut anywhere, even between CR and LF.
        controls_->SetText(c.control, "");
        for (std::size_t i = 0; i < c.text.size(); i += 3) {
          controls_->AppendResult(std::string_view(c.text).substr(i, 3));
        }
        after_appends = controls_->Text(c.control);
      }
    });
    EXPECT_EQ(after_set, c.text);
    if (c.control == Control::kResultBox) {
      EXPECT_EQ(after_appends, c.text);
    }
  }
}

TEST_F(WindowTest, AppendGoesToTheEndAndCannotBeUndone) {
  QPlainTextEdit* box = window_->ResultBox();
  window_->show();
  box->setFocus();
  QTest::keyClicks(box, "ab");
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClicks(box, "cd");
  EXPECT_EQ(controls_->Text(Control::kResultBox), "ab\r\ncd");

  box->moveCursor(QTextCursor::Start);
  controls_->AppendResult("qvod://1|A|a|\r\n");
  QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(controls_->Text(Control::kResultBox), "ab\r\ncdqvod://1|A|a|\r\n");
  // The caret stands after the appended text, so typing goes on from there.
  QTest::keyClicks(box, "e");
  EXPECT_EQ(controls_->Text(Control::kResultBox), "ab\r\ncdqvod://1|A|a|\r\ne");
}

TEST_F(WindowTest, AppendScrollsTheResultBoxDown) {
  window_->show();
  RunOnWorker([&] {
    for (int i = 0; i < 200; ++i) {
      controls_->AppendResult("qvod://" + std::to_string(i) + "|A|a|\r\n");
    }
  });
  QApplication::processEvents();
  const QScrollBar* bar = window_->ResultBox()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(WindowTest, StreamedAppendsArePaintedTogetherUpToTheLastLine) {
  constexpr int kLines = 400;
  QPlainTextEdit* box = window_->ResultBox();
  window_->show();
  QApplication::processEvents();
  // Counts the box's paints and remembers how many lines the last one showed.
  struct PaintWatch : QObject {
    QPlainTextEdit* box = nullptr;
    int paints = 0;
    int painted_blocks = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint) {
        ++paints;
        painted_blocks = box->document()->blockCount();
      }
      return QObject::eventFilter(watched, event);
    }
  } watch;
  watch.box = box;
  box->viewport()->installEventFilter(&watch);

  // The window's thread runs its event loop while the lines stream in.
  QEventLoop loop;
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) {
      controls_->AppendResult("qvod://" + std::to_string(i) + "|A|a.rmvb|\r\n");
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  // Painting after every line would cost more than the lines themselves.
  EXPECT_LT(watch.paints, kLines / 4);
  EXPECT_TRUE(QTest::qWaitFor([&] { return watch.painted_blocks == kLines + 1; }, 5000))
      << "the last lines were never painted";
  EXPECT_TRUE(box->updatesEnabled());
  box->viewport()->removeEventFilter(&watch);
}

TEST_F(WindowTest, BannerIsTypedIntoTheLabelThenBothTurnBlack) {
  EXPECT_EQ(window_->VersionLink()->NormalColor(), QColor(192, 192, 192));
  const std::string banner = "\xD2\xF8\xC9\xAB a";  // 银色 a
  RunOnWorker([&] { RevealBannerText(banner); });
  EXPECT_EQ(window_->BannerLabel()->text(), QStringFromGbk(banner));
  EXPECT_EQ(window_->BannerLabel()->palette().color(QPalette::WindowText), QColor(Qt::black));
  EXPECT_EQ(window_->VersionLink()->NormalColor(), QColor(Qt::black));
}

TEST_F(WindowTest, CaptionAndLinkAddressAreSetFromAnyThread) {
  RunOnWorker([&] {
    controls_->SetWindowCaption("qvodgrab \xB0\xE6");
    controls_->SetLinkAddress("http://127.0.0.1/about");
  });
  EXPECT_EQ(window_->windowTitle(), QStringFromGbk("qvodgrab \xB0\xE6"));
  EXPECT_EQ(window_->VersionLink()->Address(), QStringLiteral("http://127.0.0.1/about"));
}

TEST_F(WindowTest, BusyCursorFollowsSetBusyFromAWorker) {
  RunOnWorker([&] { controls_->SetBusy(true); });
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
  RunOnWorker([&] {
    controls_->SetBusy(true);
    controls_->SetBusy(false);
  });
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, OperationsDoNothingOnceTheWindowIsGone) {
  window_.reset();
  std::string text = "unset";
  RunOnWorker([&] {
    controls_->SetText(Control::kAddressBox, "x");
    text = controls_->Text(Control::kAddressBox);
  });
  EXPECT_EQ(text, "");

  window_ = std::make_unique<MainWindow>();
  auto detached = std::make_shared<QtControls>(window_.get());
  detached->Detach();
  RunOnWorker([&] {
    detached->SetText(Control::kAddressBox, "x");
    text = detached->Text(Control::kAddressBox);
  });
  EXPECT_EQ(text, "");
  EXPECT_EQ(window_->AddressBox()->text(), U(u8"http://www.example-movies.test/movie.asp?id=4983"));
}

TEST_F(WindowTest, VersionLinkHoversOpensAndTakesTheAfterClickColour) {
  HyperlinkBox* link = window_->VersionLink();
  controls_->SetLinkAddress("http://127.0.0.1/version");
  controls_->SetTextColor(Control::kVersionLink, kBlack);
  window_->show();

  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(link, &enter);
  EXPECT_EQ(link->CurrentColor(), QColor(51, 153, 255));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(link, &leave);
  EXPECT_EQ(link->CurrentColor(), QColor(Qt::black));
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

  QTest::mouseClick(link, Qt::LeftButton);
  EXPECT_EQ(services_->OpenedUrls(), std::vector<std::string>{"http://127.0.0.1/version"});
  EXPECT_EQ(link->CurrentColor(), QColor(192, 192, 192));

  controls_->SetText(Control::kVersionLink, "");
  EXPECT_EQ(link->ShownText(), QStringLiteral("http://127.0.0.1/version"));
}

TEST_F(WindowTest, SilverLookDrawsFramesInItsColourOnButtonFace) {
  SwitchOnSilverLook();
  ASSERT_NE(qobject_cast<SilverStyle*>(QApplication::style()), nullptr);
  window_->show();
  QApplication::processEvents();
  EXPECT_EQ(window_->palette().color(QPalette::Window), kButtonFace);
  const QImage address = window_->AddressBox()->grab().toImage();
  EXPECT_EQ(address.pixelColor(0, address.height() / 2), kSilverFrame);
  const QImage result = window_->ResultBox()->grab().toImage();
  EXPECT_EQ(result.pixelColor(0, result.height() / 2), kSilverFrame);
  const QImage group = Find<QGroupBox>(u8"分组框1")->grab().toImage();
  EXPECT_EQ(group.pixelColor(0, group.height() / 2), kSilverFrame);
  // The banner keeps its own silver text under the look.
  EXPECT_EQ(window_->BannerLabel()->palette().color(QPalette::WindowText), QColor(192, 192, 192));
}

// The services over Qt.
class QtServicesTest : public ::testing::Test {
 protected:
  QtServices services_;
};

TEST_F(QtServicesTest, ScriptedAnswersAreRecordedAndNoBoxIsShown) {
  services_.SetNextAnswer(MessageAnswer::kNo);
  services_.SetNextAnswer(MessageAnswer::kYes);
  MessageAnswer first = MessageAnswer::kOk;
  MessageAnswer second = MessageAnswer::kOk;
  RunOnWorker([&] { first = services_.ShowMessage("a", "b", MessageStyle::kYesNo); });
  second = services_.ShowMessage("c", "", MessageStyle::kOk);
  EXPECT_EQ(first, MessageAnswer::kNo);
  EXPECT_EQ(second, MessageAnswer::kYes);
  const auto messages = services_.AnsweredMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "a");
  EXPECT_EQ(messages[0].caption, "b");
  EXPECT_EQ(messages[0].style, MessageStyle::kYesNo);
  EXPECT_EQ(messages[1].text, "c");
}

TEST_F(QtServicesTest, MessageBoxesAreModalOwnerlessAndInChinese) {
  struct Case {
    MessageStyle style;
    std::string caption;
    QString expected_caption;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton expected_default;
    QMessageBox::StandardButton press;
    const char8_t* default_text;
    MessageAnswer answer;
  };
  const Case cases[] = {
      {MessageStyle::kYesNo, "", U(u8"信息："), QMessageBox::NoIcon, QMessageBox::Yes,
       QMessageBox::No, u8"是", MessageAnswer::kNo},
      {MessageStyle::kYesNo, "\xB1\xEA\xCC\xE2", U(u8"标题"), QMessageBox::NoIcon, QMessageBox::Yes,
       QMessageBox::Yes, u8"是", MessageAnswer::kYes},
      {MessageStyle::kInformationOk, "", U(u8"信息："), QMessageBox::Information, QMessageBox::Ok,
       QMessageBox::Ok, u8"确定", MessageAnswer::kOk},
      {MessageStyle::kOk, "", U(u8"信息："), QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok,
       u8"确定", MessageAnswer::kOk},
  };
  for (const Case& c : cases) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      seen = true;
      EXPECT_EQ(box->parent(), nullptr);
      EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
      EXPECT_EQ(box->windowTitle(), c.expected_caption);
      EXPECT_EQ(box->text(), U(u8"文本"));
      EXPECT_EQ(box->icon(), c.icon);
      ASSERT_NE(box->defaultButton(), nullptr);
      EXPECT_EQ(box->standardButton(box->defaultButton()), c.expected_default);
      EXPECT_TRUE(box->defaultButton()->text().contains(U(c.default_text)))
          << box->defaultButton()->text().toStdString();
      box->button(c.press)->click();
    });
    EXPECT_EQ(services_.ShowMessage("\xCE\xC4\xB1\xBE", c.caption, c.style), c.answer);
    EXPECT_TRUE(seen);
  }
}

TEST_F(QtServicesTest, DesktopDirectoryIsTheXdgOneAndIsNeverCreated) {
  testing::TempHome home;
  std::filesystem::remove_all(home.desktop());
  EXPECT_EQ(services_.DesktopDirectory(), home.desktop());
  EXPECT_FALSE(std::filesystem::exists(home.desktop()));
}

TEST(DesktopExecCommand, ExpandsFieldCodesIntoSeparateArguments) {
  const QString url = QStringLiteral("http://127.0.0.1/a b?x=1&y=%41");
  const struct {
    const char* exec;
    QStringList command;
  } cases[] = {
      {"firefox %u", {"firefox", url}},
      {"\"/opt/my browser/run\" --new-window %U", {"/opt/my browser/run", "--new-window", url}},
      {"browser", {"browser", url}},
      {"browser %i --class=%c %u", {"browser", "--class=", url}},
      {"browser --url=%u 100%%", {"browser", "--url=" + url, "100%"}},
      {"sh -c \"echo \\\"\\$1\\\"\" sh %f", {"sh", "-c", "echo \"$1\"", "sh", url}},
      {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DesktopExecCommand(QString::fromUtf8(c.exec), url), c.command) << c.exec;
  }
}

// The version link's fallback: the offscreen platform cannot open addresses,
// so OpenUrl falls back to the text/html handler of the MIME database.
class BrowserFallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::path(home_.home());
    std::filesystem::create_directories(root_ / "data/applications");
    std::filesystem::create_directories(root_ / "config");
    std::filesystem::create_directories(root_ / "none");
    for (const auto& [name, dir] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                    {"XDG_DATA_HOME", "data"},
                                    {"XDG_CONFIG_DIRS", "none"},
                                    {"XDG_DATA_DIRS", "none"}}) {
      saved_.emplace_back(name, qgetenv(name));
      qputenv(name, QByteArray::fromStdString((root_ / dir).string()));
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value.isNull()) {
        qunsetenv(name);
      } else {
        qputenv(name, value);
      }
    }
  }

  testing::TempHome home_;
  std::filesystem::path root_;
  std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST_F(BrowserFallbackTest, StartsTheDefaultHtmlHandlerWithTheAddress) {
  const std::string out = (root_ / "opened.txt").string();
  const std::string script = (root_ / "browser.sh").string();
  ASSERT_TRUE(testing::WriteFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + out + ".tmp'\nmv '" +
                                             out + ".tmp' '" + out + "'\n"));
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  ASSERT_TRUE(testing::WriteFile((root_ / "data/applications/qvodtest-browser.desktop").string(),
                                 "[Desktop Entry]\nType=Application\nName=Test browser\n"
                                 "Exec=" +
                                     script + " %u\n"));
  ASSERT_TRUE(testing::WriteFile((root_ / "config/mimeapps.list").string(),
                                 "[Default Applications]\ntext/html=qvodtest-browser.desktop\n"));

  const std::string url = "http://127.0.0.1:9/version?a=1&b=2";
  EXPECT_TRUE(QtServices().OpenUrl(url));
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(out); }, 10000));
  EXPECT_EQ(testing::ReadFile(out), url);
}

TEST_F(BrowserFallbackTest, FailsWhenThereIsNoHtmlHandler) {
  EXPECT_FALSE(QtServices().OpenUrl("http://127.0.0.1:9/version"));
}

}  // namespace
}  // namespace qvod

int main(int argc, char** argv) {
  // Test discovery runs this program outside CTest's environment too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  qvod::InstallQtChineseTranslation(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
