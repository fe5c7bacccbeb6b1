#include "app/window/program.h"

#include <QApplication>
#include <memory>

#include "app/controls.h"
#include "app/startup.h"
#include "app/window/main_window.h"
#include "app/window/qt_controls.h"
#include "app/window/qt_services.h"
#include "app/window/silver_style.h"
#include "app/workers.h"
#include "platform/services.h"

namespace qvod {

void RunWindowProgram(int argc, char** argv, const std::function<void(MainWindow&)>& on_shown) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("qvodgrab"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.qvodgrab.QvodGrab"));
  InstallQtChineseTranslation(app);

  StartUp();
  platform::SetServices(std::make_shared<QtServices>());

  MainWindow window;
  auto controls = std::make_shared<QtControls>(&window);
  SetControls(controls);
  window.SetOnDestroying([controls] {
    // Workers that run on after this find the controls gone, not half-destroyed.
    controls->Detach();
    OnMainWindowDestroying();
  });
  OnMainWindowCreated(SwitchOnSilverLook);
  window.show();
  if (on_shown) {
    on_shown(window);
  }

  const int code = QApplication::exec();
  controls->Detach();
  // Ends the process before any destructor runs, so that a late worker never
  // meets a destroyed window or application.
  EndProcess(code);
}

}  // namespace qvod
