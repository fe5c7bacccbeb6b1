// Quitting the real window program while four runs are queued behind a stalled
// server: closing the window or pressing 按钮1 ends the process within 2 s,
// with exit code 0 and the exit procedure run exactly once, every time of 50.
// Each round runs the program in a child process under the offscreen platform
// with Qt warnings made fatal, so a warning at shutdown fails the round.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/shared_state.h"
#include "app/window/main_window.h"
#include "app/window/program.h"
#include "app/workers.h"
#include "support/test_support.h"

namespace qvod {
namespace {

using testing::LocalHttpServer;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 50;
constexpr auto kExitBound = std::chrono::seconds(2);

int g_report_fd = -1;

void Report(const std::string& line) { (void)!write(g_report_fd, line.data(), line.size()); }

void ReportingExitProcedure() {
  Report("exit\n");
  ReleaseSharedState();
}

QPushButton* Button(MainWindow& window, const char8_t* name) {
  return window.findChild<QPushButton*>(QString::fromUtf8(name));
}

struct Round {
  bool ended = false;  // the child ended within the deadline
  int exit_code = -1;
  int exit_runs = 0;            // lines "exit" reported
  bool queued = false;          // four runs were pending when the close came
  Clock::duration exit_time{};  // from the close to the end of the process
};

// Runs the window program in a child: four clicks of 查询1 on a page that
// never comes, then, once the server has the first request, the close.
Round RunRound(const std::string& stalled_url, bool by_button, const std::string& runtime_dir) {
  Round round;
  int fds[2];
  if (pipe(fds) != 0) {
    return round;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    g_report_fd = fds[1];
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_FATAL_WARNINGS", "1", 1);
    setenv("XDG_RUNTIME_DIR", runtime_dir.c_str(), 1);
    char name[] = "qvodgrab";
    char* argv[] = {name, nullptr};
    RunWindowProgram(1, argv, [&](MainWindow& window) {
      RegisterExitProcedure(ReportingExitProcedure);
      QTimer::singleShot(0, &window, [&window, stalled_url, by_button] {
        window.AddressBox()->setText(QString::fromStdString(stalled_url));
        for (int i = 0; i < 4; ++i) {
          Button(window, u8"查询1")->click();
        }
        auto* poll_timer = new QTimer(&window);
        QObject::connect(poll_timer, &QTimer::timeout, [&window, poll_timer, by_button] {
          for (const auto& request : LocalHttpServer::Get().Requests()) {
            if (request.path == "/silent") {
              poll_timer->stop();
              Report(RunTicket::Pending() == 4 ? "queued\n" : "not-queued\n");
              Report("closing " + std::to_string(Clock::now().time_since_epoch().count()) + "\n");
              if (by_button) {
                Button(window, u8"按钮1")->click();
              } else {
                window.close();
              }
              return;
            }
          }
        });
        poll_timer->start(10);
      });
    });
  }
  close(fds[1]);
  std::string report;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd pfd{fds[0], POLLIN, 0};
    if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) <= 0) {
      kill(pid, SIGKILL);
      break;
    }
    char buffer[256];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    report.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const auto ended_at = Clock::now();
  round.ended = WIFEXITED(status);
  round.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  round.queued = report.find("\nqueued\n") != std::string::npos || report.rfind("queued\n", 0) == 0;
  for (std::size_t at = report.find("exit\n"); at != std::string::npos;
       at = report.find("exit\n", at + 1)) {
    ++round.exit_runs;
  }
  const std::size_t closing = report.find("closing ");
  if (closing != std::string::npos) {
    const Clock::time_point closed_at(Clock::duration(std::stoll(report.substr(closing + 8))));
    round.exit_time = ended_at - closed_at;
  } else {
    round.exit_time = Clock::duration::max();
  }
  return round;
}

TEST(QuitUnderLoad, EveryWayOfClosingEndsAtOnceWithRunsQueued) {
  LocalHttpServer& server = LocalHttpServer::Get();
  const std::string stalled_url = server.Url("/silent");
  char runtime_template[] = "/tmp/qvod-runtime-XXXXXX";
  const char* runtime_dir = mkdtemp(runtime_template);
  ASSERT_NE(runtime_dir, nullptr);

  Clock::duration worst{};
  for (int i = 0; i < kRounds; ++i) {
    const bool by_button = i % 2 == 0;
    SCOPED_TRACE(std::string(by_button ? "按钮1" : "window closed") + ", round " +
                 std::to_string(i + 1));
    server.ClearRequests();
    const Round round = RunRound(stalled_url, by_button, runtime_dir);
    ASSERT_TRUE(round.ended);
    EXPECT_EQ(round.exit_code, 0);
    EXPECT_TRUE(round.queued);
    EXPECT_EQ(round.exit_runs, 1);
    EXPECT_LT(round.exit_time, kExitBound);
    worst = std::max(worst, round.exit_time);
  }
  std::printf(
      "%d rounds; worst time from the close to the end of the process: %lld ms\n", kRounds,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(worst).count()));
  std::filesystem::remove_all(runtime_dir);
}

}  // namespace
}  // namespace qvod
