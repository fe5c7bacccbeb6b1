// The two ways of closing the real window program, each run in a child process
// under the offscreen platform: the exit procedure runs exactly once, with the
// lock deleted only when the window was closed, and the process ends with code
// 0 at once, even while a channel run is waiting for its page.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "app/shared_state.h"
#include "app/window/main_window.h"
#include "app/window/program.h"
#include "app/workers.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using testing::LocalHttpServer;

int g_report_fd = -1;

// Stands in for the exit procedure in the child: reports what it finds, then
// releases the shared state as the program's own exit procedure does.
void ReportingExitProcedure() {
  const auto state = SharedStateRef();
  std::string line = "exit";
  line += state != nullptr && state->OutputLock != nullptr ? " lock-held" : " lock-deleted";
  line += RunTicket::Pending() > 0 ? " run-active\n" : " no-run\n";
  (void)!write(g_report_fd, line.data(), line.size());
  ReleaseSharedState();
}

struct ChildOutcome {
  bool ended = false;  // within the time allowed
  int exit_code = -1;
  std::string report;  // one line per run of the exit procedure
};

// Runs the window program in a child process; on_shown acts on the shown window.
ChildOutcome RunProgramInChild(const std::function<void(MainWindow&)>& on_shown) {
  int fds[2];
  if (pipe(fds) != 0) {
    return {};
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    g_report_fd = fds[1];
    char name[] = "qvodgrab";
    char* argv[] = {name, nullptr};
    RunWindowProgram(1, argv, [&](MainWindow& window) {
      RegisterExitProcedure(ReportingExitProcedure);
      on_shown(window);
    });
  }
  close(fds[1]);
  ChildOutcome outcome;
  // A program that waited for its workers would still be running at the end of
  // this: the page of the slow case does not come for two minutes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd pfd{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
      kill(pid, SIGKILL);
      break;
    }
    char buffer[256];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) {
      outcome.ended = true;
      break;
    }
    outcome.report.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) {
    outcome.exit_code = WEXITSTATUS(status);
  }
  return outcome;
}

QPushButton* Button(MainWindow& window, const char8_t* name) {
  return window.findChild<QPushButton*>(QString::fromUtf8(name));
}

// Clicks 查询1 on an address whose page never comes, and calls then() once the
// server has seen the request (the run is waiting for its page).
void StartSlowRun(MainWindow& window, const std::string& url, const std::function<void()>& then) {
  window.AddressBox()->setText(QString::fromStdString(url));
  Button(window, u8"查询1")->click();
  auto* poll_timer = new QTimer(&window);
  QObject::connect(poll_timer, &QTimer::timeout, [poll_timer, then] {
    for (const auto& request : LocalHttpServer::Get().Requests()) {
      if (request.path == "/silent") {
        poll_timer->stop();
        then();
        return;
      }
    }
  });
  poll_timer->start(20);
}

TEST(ExitPaths, ExitProcedureRunsOnceOnEveryWayOfClosing) {
  LocalHttpServer& server = LocalHttpServer::Get();
  server.ClearRequests();
  const std::string slow_url = server.Url("/silent");

  struct Case {
    const char* name;
    bool during_run;
    bool by_button;  // 按钮1; otherwise the window is closed
    std::string report;
  };
  const Case cases[] = {
      {"force quit", false, true, "exit lock-held no-run\n"},
      {"window closed", false, false, "exit lock-deleted no-run\n"},
      {"force quit while fetching", true, true, "exit lock-held run-active\n"},
      {"window closed while fetching", true, false, "exit lock-deleted run-active\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.ClearRequests();
    const ChildOutcome outcome = RunProgramInChild([&](MainWindow& window) {
      const auto close = [&window, by_button = c.by_button] {
        if (by_button) {
          Button(window, u8"按钮1")->click();
        } else {
          window.close();
        }
      };
      if (c.during_run) {
        QTimer::singleShot(0, &window,
                           [&window, slow_url, close] { StartSlowRun(window, slow_url, close); });
      } else {
        QTimer::singleShot(0, &window, close);
      }
    });
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.report, c.report);
  }
}

}  // namespace
}  // namespace qvod
