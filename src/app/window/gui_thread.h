// Carrying work over to the application's (window's) thread.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <utility>

namespace qvod {

// Returns true when the calling thread is the application's thread.
inline bool OnGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

// Runs f on the application's thread and returns when it has run: directly when
// called there, otherwise through a blocking queued call, so the window's thread
// never waits on itself. Returns false (f not run) when there is no application
// or the call could not be queued.
template <typename F>
bool RunOnGuiThread(F&& f) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) {
    return false;
  }
  if (QThread::currentThread() == app->thread()) {
    std::forward<F>(f)();
    return true;
  }
  return QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

}  // namespace qvod
